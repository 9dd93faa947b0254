#include "doc/DopStatistics.h"

#include <array>
#include <optional>

#include "platform/text/DecimalText.h"
#include "platform/time/DateTimeText.h"
#include "platform/time/LocalDateTime.h"

namespace kestrel::doc {

namespace {

using catalogue::Row;
using storage::CompoundFile;

// Where the FIB keeps what we need, in the "WordDocument" stream.
constexpr std::uint64_t kFibFlagsOffset = 10;
constexpr std::uint64_t kFcDopOffset = 402;  // fcDop, then lcbDop
constexpr std::size_t kFibBytesNeeded = kFcDopOffset + 8;
constexpr std::uint16_t kWhichTableStream = 0x0200;

// The dates block inside the DOP.
constexpr std::uint64_t kDatesOffset = 20;
constexpr std::size_t kDatesSize = 18;
constexpr std::uint64_t kDopBytesNeeded = kDatesOffset + kDatesSize;

using DatesBytes = std::array<std::uint8_t, kDatesSize>;

std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void PutLe(std::uint8_t* p, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

struct DatesLocation {
  storage::EntryId tableStream = 0;
  std::uint64_t offset = 0;
};

// The block's place, or nullopt when the FIB, the table stream or a DOP long enough to hold
// the block inside that stream is missing: we never read or write past lcbDop or the stream.
std::optional<DatesLocation> LocateDates(const CompoundFile& file) {
  const auto word = file.FindChild(storage::kRootEntry, u"WordDocument");
  if (!word || !file.IsStream(*word)) return std::nullopt;
  const auto fib = file.ReadStreamRange(*word, 0, kFibBytesNeeded);
  if (!fib || fib->size() < kFibBytesNeeded) return std::nullopt;
  const std::uint16_t flags = static_cast<std::uint16_t>((*fib)[kFibFlagsOffset] | (*fib)[kFibFlagsOffset + 1] << 8);
  const std::uint32_t fcDop = Le32(fib->data() + kFcDopOffset);
  const std::uint32_t lcbDop = Le32(fib->data() + kFcDopOffset + 4);
  const auto table = file.FindChild(storage::kRootEntry, (flags & kWhichTableStream) ? u"1Table" : u"0Table");
  if (!table || !file.IsStream(*table)) return std::nullopt;
  if (lcbDop < kDopBytesNeeded || fcDop + kDopBytesNeeded > file.StreamSize(*table)) return std::nullopt;
  return DatesLocation{*table, fcDop + kDatesOffset};
}

std::optional<DatesBytes> ReadDates(const CompoundFile& file, const DatesLocation& where) {
  const auto bytes = file.ReadStreamRange(where.tableStream, where.offset, kDatesSize);
  if (!bytes || bytes->size() != kDatesSize) return std::nullopt;
  DatesBytes block{};
  std::copy(bytes->begin(), bytes->end(), block.begin());
  return block;
}

// A date row's DTTM; nullopt when the text does not parse.
std::optional<std::uint32_t> PackDateRow(const catalogue::PropertyRows& rows, int row) {
  const auto value = time::ParseDateTimeText(rows.Value(row));
  if (!value) return std::nullopt;
  return PackDttm(*value);
}

}  // namespace

std::int32_t ReadEditingMinutes(const CompoundFile& file) {
  const auto where = LocateDates(file);
  const auto block = where ? ReadDates(file, *where) : std::nullopt;
  return block ? static_cast<std::int32_t>(Le32(block->data() + 14)) : 0;
}

std::int32_t ReadEditingMinutes(const std::string& path) {
  const auto file = CompoundFile::Open(path, fs::OpenMode::Read);
  return file ? ReadEditingMinutes(*file) : 0;
}

bool WriteDopDates(const std::string& path, const DopDates& dates, const DopWriteMask& mask) {
  if (!CompoundFile::IsCompoundFile(path)) return false;
  const auto file = CompoundFile::Open(path, fs::OpenMode::ReadWrite);
  if (!file) return false;
  const auto where = LocateDates(*file);
  const auto old = where ? ReadDates(*file, *where) : std::nullopt;
  if (!old) return false;
  DatesBytes block = *old;
  if (mask.created) PutLe(&block[0], dates.created, 4);
  if (mask.revised) PutLe(&block[4], dates.revised, 4);
  if (mask.lastPrinted) PutLe(&block[8], dates.lastPrinted, 4);
  if (mask.revisionCount) PutLe(&block[12], dates.revisionCount, 2);
  if (mask.editingMinutes) PutLe(&block[14], static_cast<std::uint32_t>(dates.editingMinutes), 4);
  if (block == *old) return true;
  return file->WriteStreamRange(where->tableStream, where->offset, block);
}

std::uint32_t PackDttm(time::LocalDateTime value) {
  const auto fields = time::DecodeLocalDateTime(value);
  if (!fields || fields->year < 1900 || fields->year > 2411) return 0;
  const auto low = static_cast<std::uint32_t>(fields->minute | fields->hour << 6 | fields->day << 11);
  const auto high = static_cast<std::uint32_t>(fields->month | (fields->year - 1900) << 4);
  return (high & 0xFFFF) << 16 | (low & 0xFFFF);
}

bool BuildDopDates(const std::string& path, const catalogue::PropertyRows& rows) {
  const DopWriteMask mask{rows.Included(Row::kCreated), rows.Included(Row::kLastSaved),
                          rows.Included(Row::kLastPrinted), rows.Included(Row::kRevisionNumber),
                          rows.Included(Row::kEditingTime)};
  DopDates dates;
  // Only rows that take part are parsed: a row the user left out cannot fail the change.
  if (mask.created) {
    const auto packed = PackDateRow(rows, Row::kCreated);
    if (!packed) return false;
    dates.created = *packed;
  }
  if (mask.revised) {
    const auto packed = PackDateRow(rows, Row::kLastSaved);
    if (!packed) return false;
    dates.revised = *packed;
  }
  if (mask.lastPrinted && !rows.Value(Row::kLastPrinted).empty()) {
    const auto packed = PackDateRow(rows, Row::kLastPrinted);
    if (!packed) return false;
    dates.lastPrinted = *packed;
  }
  dates.revisionCount = static_cast<std::uint16_t>(text::ParseInt32(rows.Value(Row::kRevisionNumber)).value_or(3));
  dates.editingMinutes = text::ParseInt32(rows.Value(Row::kEditingTime)).value_or(0);
  return WriteDopDates(path, dates, mask);
}

}  // namespace kestrel::doc
