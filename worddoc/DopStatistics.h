#pragma once
// The dates, revision count and editing time that a binary Word document keeps in its document
// properties block (DOP) besides the property sets: an 18-byte run at DOP offset 20, in the table
// stream for Word 97 and later, in "WordDocument" for Word 6.0 and Word 95 (worddoc/WordFib.h finds it).
//
// A change plans the run's new bytes here and writes them in its own commit. Nothing here throws.

#include <array>
#include <cstdint>
#include <string>

#include "catalogue/PropertyRows.h"
#include "platform/Outcome.h"
#include "platform/storage/CompoundFile.h"
#include "platform/time/FileTime.h"
#include "worddoc/WordFib.h"

namespace kestrel::worddoc {

inline constexpr std::size_t kDopDatesSize = 18;

// The run as a change would leave it: "write these bytes at this offset of this stream".
struct DopDatesPatch {
  storage::EntryId stream = 0;
  std::uint64_t offset = 0;
  std::array<std::uint8_t, kDopDatesSize> bytes{};
  bool changed = false;  // false when the bytes are the file's own: nothing needs writing
};

// The run's new bytes for these rows, or why it cannot be written; nothing is written. The
// included rows are the fields replaced, the others keep the file's values and are not parsed:
// rows 10 (created), 11 (last saved) and 13 (last printed; empty means never) as date-time text,
// row 6 as the revision count (3 when not a number, low 16 bits kept), row 12 as editing minutes
// (0 when not a number). With no row included the plan is the run as it is, so a document we
// cannot write still fails. The document is checked first and fails as LocateDopStatistics does
// (NotADocument, Encrypted, Unsupported, Damaged); then the rows, with InvalidValue "'<text>' is not a valid date and time" for an
// included date row that does not parse.
Result<DopDatesPatch> PlanDopDates(const storage::CompoundFile& file, const catalogue::PropertyRows& rows);

// The editing time in minutes, or 0 when the run cannot be read or trusted (an encrypted document
// included).
std::int32_t ReadEditingMinutes(const std::string& path);
std::int32_t ReadEditingMinutes(const storage::CompoundFile& file);

// A local date-time as a DTTM (seconds dropped, weekday 0); 0 for years outside 1900 to 2411,
// which a DTTM cannot hold.
std::uint32_t PackDttm(time::LocalDateTime value);

}  // namespace kestrel::worddoc
