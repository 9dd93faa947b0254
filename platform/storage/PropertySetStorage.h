#pragma once
// Property sets of a compound file, addressed by FMTID as the stream that holds them.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/storage/CompoundFile.h"
#include "platform/storage/Guid.h"
#include "platform/storage/PropertySetStream.h"

namespace kestrel::storage {

// "\005SummaryInformation", "\005DocumentSummaryInformation" (also for the user-defined
// properties), otherwise "\005" and the FMTID written in the 26-character form of the property
// set naming rule.
std::u16string PropertySetStreamName(const Guid& fmtid);

// The parsed stream of the set, or nullopt when the stream is absent, damaged or lacks the section.
std::optional<PropertySetStream> ReadPropertySet(const CompoundFile& file, const Guid& fmtid);

// Sets one property. The stream is created (code page 932 unless the text needs 65001) when
// missing, and the section added when the stream lacks it; a stream that does not parse is
// never replaced. True when the new stream is in the file.
bool WritePropertySetValue(CompoundFile& file, const Guid& fmtid, std::uint32_t pid,
                           const PropertyValue& value);

}  // namespace kestrel::storage
