#pragma once
// What a compound file's property sets hold beyond the 14 rows: the custom properties of the
// user-defined section and every other stored property, and the custom edits planned as changes of
// that section. Nothing here throws except std::bad_alloc.

#include <optional>
#include <vector>

#include "catalogue/OtherProperties.h"
#include "platform/Outcome.h"
#include "platform/storage/CompoundFile.h"
#include "platform/storage/PropertySetStorage.h"

namespace kestrel::worddoc {

// The custom properties (named by the user-defined section's dictionary, in stored order), then
// the other properties of SummaryInformation, DocumentSummaryInformation and the user-defined
// section ("_PID_" names). Empty without property sets; a failure only when a set is refused
// unread.
Result<std::vector<catalogue::OtherProperty>> ReadBinaryOtherProperties(const storage::CompoundFile& file);

// The custom edits and the hyperlink base's removal as one change of the user-defined section of
// `stream` (nullopt: the document has none): matched names replaced, new ones added under the next
// free id, removed ones dropped with their names. Edits that store nothing new are left out.
// InvalidValue for a name that cannot be a custom property's.
Result<storage::SectionChange> PlanCustomChange(const std::optional<storage::PropertySetStream>& stream,
                                                const catalogue::OtherEdits& edits);

}  // namespace kestrel::worddoc
