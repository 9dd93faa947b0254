#pragma once
// The switch of a section to UTF-16 (code page 1200): every code-page string of the section is
// converted, nothing else changes. Nothing here throws except std::bad_alloc.

#include <span>
#include <vector>

#include "platform/Outcome.h"
#include "platform/storage/PropertySetBytes.h"

namespace kestrel::storage::propset {

// The section's properties with every string in code page `codePage` (VT_LPSTR, VT_BSTR, vectors
// of them, such strings inside VT_VECTOR|VT_VARIANT, the dictionary's names) converted to
// UTF-16LE and the code page property set to 1200 (added when missing). Strings keep their byte
// counts' meaning (bytes, the 2-byte terminator included) and vectors keep their layout; the
// dictionary's names are counted in characters and each entry is padded to 4 bytes, as code page
// 1200 lays it out. Fails (Unsupported, naming the property) when a string does not convert
// exactly or a property that might hold code-page text cannot be walked exactly.
Result<std::vector<RawProperty>> RecodeSectionToUtf16(std::span<const RawProperty> properties, unsigned codePage);

// The stored code page property value: VT_I2 holding the code page's 16 bits.
Bytes CodePageValue(unsigned codePage);

}  // namespace kestrel::storage::propset
