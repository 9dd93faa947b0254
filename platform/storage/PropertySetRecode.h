#pragma once
// The switch of a section to UTF-8 (code page 65001), as LibreOffice writes its own documents:
// every code-page string of the section is converted, nothing else changes.

#include <optional>
#include <span>
#include <vector>

#include "platform/storage/PropertySetBytes.h"

namespace kestrel::storage::propset {

// The section's properties with every string in code page `codePage` (VT_LPSTR, VT_BSTR, vectors
// of them, such strings inside VT_VECTOR|VT_VARIANT, the dictionary's names) converted to UTF-8
// and the code page property set to 65001 (added when missing). nullopt when a string does not
// convert exactly, or a property that might hold code-page text cannot be walked exactly.
std::optional<std::vector<RawProperty>> RecodeSectionToUtf8(std::span<const RawProperty> properties,
                                                            unsigned codePage);

// The stored code page property value: VT_I2 holding the code page's 16 bits.
Bytes CodePageValue(unsigned codePage);

}  // namespace kestrel::storage::propset
