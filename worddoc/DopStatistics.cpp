#include "worddoc/DopStatistics.h"

#include <algorithm>

#include "platform/LittleEndian.h"
#include "platform/text/DecimalText.h"
#include "platform/time/DateTimeText.h"
#include "platform/time/LocalDateTime.h"

namespace kestrel::worddoc {

namespace {

using le::Get32;
using le::Put16;
using le::Put32;
using storage::CompoundFile;
using DatesBytes = std::array<std::uint8_t, kDopDatesSize>;

// Field offsets inside the run.
constexpr std::size_t kCreatedAt = 0;
constexpr std::size_t kRevisedAt = 4;
constexpr std::size_t kLastPrintedAt = 8;
constexpr std::size_t kRevisionCountAt = 12;
constexpr std::size_t kEditingMinutesAt = 14;

struct DopDates {
  std::uint32_t created = 0;      // DTTM, local time
  std::uint32_t revised = 0;      // DTTM
  std::uint32_t lastPrinted = 0;  // DTTM; 0 means never printed
  std::uint16_t revisionCount = 0;
  std::int32_t editingMinutes = 0;
};

// Which fields a change replaces; the file keeps the others.
struct DopWriteMask {
  bool created = false;
  bool revised = false;
  bool lastPrinted = false;
  bool revisionCount = false;
  bool editingMinutes = false;
};

// A revision count that is not a number is written as 3.
constexpr std::int32_t kRevisionCountFallback = 3;

Result<DatesBytes> ReadDates(const CompoundFile& file, const DopStatisticsPlace& place) {
  const auto bytes = file.ReadStreamRange(place.stream, place.offset, kDopDatesSize);
  if (!bytes || bytes->size() != kDopDatesSize) {
    return Outcome::Failure(FailureKind::Damaged, "the statistics block cannot be read");
  }
  DatesBytes block{};
  std::copy(bytes->begin(), bytes->end(), block.begin());
  return block;
}

DatesBytes WithFields(DatesBytes block, const DopDates& dates, const DopWriteMask& mask) {
  if (mask.created) Put32(&block[kCreatedAt], dates.created);
  if (mask.revised) Put32(&block[kRevisedAt], dates.revised);
  if (mask.lastPrinted) Put32(&block[kLastPrintedAt], dates.lastPrinted);
  if (mask.revisionCount) Put16(&block[kRevisionCountAt], dates.revisionCount);
  if (mask.editingMinutes) Put32(&block[kEditingMinutesAt], static_cast<std::uint32_t>(dates.editingMinutes));
  return block;
}

// A date row's DTTM, or the conversion error the user sees.
Result<std::uint32_t> PackDateRow(const catalogue::PropertyRows& rows, int row) {
  const std::string& text = rows.Value(row);
  const auto value = time::ParseDateTimeText(text);
  if (!value) return Outcome::Failure(FailureKind::InvalidValue, "'" + text + "' is not a valid date and time");
  return PackDttm(*value);
}

struct DatesChange {
  DopDates dates;
  DopWriteMask mask;
};

// Only rows that take part are parsed: a row the user left out cannot fail the change.
Result<DatesChange> DatesFromRows(const catalogue::PropertyRows& rows) {
  DatesChange change;
  change.mask = DopWriteMask{rows.Included(catalogue::kCreated), rows.Included(catalogue::kLastSaved),
                             rows.Included(catalogue::kLastPrinted), rows.Included(catalogue::kRevisionNumber),
                             rows.Included(catalogue::kEditingTime)};
  if (change.mask.created) {
    const auto packed = PackDateRow(rows, catalogue::kCreated);
    if (!packed) return packed.outcome();
    change.dates.created = *packed;
  }
  if (change.mask.revised) {
    const auto packed = PackDateRow(rows, catalogue::kLastSaved);
    if (!packed) return packed.outcome();
    change.dates.revised = *packed;
  }
  if (change.mask.lastPrinted && !rows.Value(catalogue::kLastPrinted).empty()) {
    const auto packed = PackDateRow(rows, catalogue::kLastPrinted);
    if (!packed) return packed.outcome();
    change.dates.lastPrinted = *packed;
  }
  change.dates.revisionCount = static_cast<std::uint16_t>(
      text::ParseInt32(rows.Value(catalogue::kRevisionNumber)).value_or(kRevisionCountFallback));
  change.dates.editingMinutes = text::ParseInt32(rows.Value(catalogue::kEditingTime)).value_or(0);
  return change;
}

Result<DopDatesPatch> PlanAt(const CompoundFile& file, const DopStatisticsPlace& place, const DopDates& dates,
                             const DopWriteMask& mask) {
  const auto old = ReadDates(file, place);
  if (!old) return old.outcome();
  const DatesBytes block = WithFields(*old, dates, mask);
  return DopDatesPatch{place.stream, place.offset, block, block != *old};
}

}  // namespace

Result<DopDatesPatch> PlanDopDates(const CompoundFile& file, const catalogue::PropertyRows& rows) {
  const auto place = LocateDopStatistics(file);
  if (!place) return place.outcome();
  const auto change = DatesFromRows(rows);
  if (!change) return change.outcome();
  return PlanAt(file, *place, change->dates, change->mask);
}

std::int32_t ReadEditingMinutes(const CompoundFile& file) {
  const auto place = LocateDopStatistics(file);
  const auto block = place ? ReadDates(file, *place) : Result<DatesBytes>(place.outcome());
  return block ? static_cast<std::int32_t>(Get32(&(*block)[kEditingMinutesAt])) : 0;
}

std::int32_t ReadEditingMinutes(const std::string& path) {
  const auto file = CompoundFile::Open(path, fs::OpenMode::Read);
  return file ? ReadEditingMinutes(**file) : 0;
}

std::uint32_t PackDttm(time::LocalDateTime value) {
  const auto fields = time::DecodeLocalDateTime(value);
  if (!fields || fields->year < 1900 || fields->year > 2411) return 0;
  const auto low = static_cast<std::uint32_t>(fields->minute | fields->hour << 6 | fields->day << 11);
  const auto high = static_cast<std::uint32_t>(fields->month | (fields->year - 1900) << 4);
  return (high & 0xFFFF) << 16 | (low & 0xFFFF);
}

}  // namespace kestrel::worddoc
