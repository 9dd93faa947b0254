#include "platform/time/LocalDateTime.h"

#include <cmath>
#include <cstdint>

#include "platform/time/TimeZone.h"

namespace kestrel::time {
namespace {

constexpr std::int64_t kMsPerSecond = 1000;
constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr std::int64_t kFileTimeUnitsPerMs = kFileTimeUnitsPerSecond / kMsPerSecond;

struct CivilDate {
  std::int64_t year;
  std::int64_t month;
  std::int64_t day;
};

// Days since 1970-01-01 in the proleptic Gregorian calendar (H. Hinnant's algorithm).
constexpr std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

constexpr CivilDate CivilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  const std::int64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  const std::int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

constexpr std::int64_t kLocalEpochDays = DaysFromCivil(1899, 12, 30);
constexpr std::int64_t kFileTimeEpochDays = DaysFromCivil(1601, 1, 1);
constexpr std::int64_t kFirstSerialDay = DaysFromCivil(1, 1, 1) - kLocalEpochDays;
constexpr std::int64_t kLastSerialDay = DaysFromCivil(9999, 12, 31) - kLocalEpochDays;
// File times end with 9999 like local date-times do; later ones (including all with the top bit
// set, which Windows refuses) could not make the round trip.
constexpr std::int64_t kFileTimeEndMs =
    (DaysFromCivil(10000, 1, 1) - kFileTimeEpochDays) * kMsPerDay;
constexpr FileTime kFileTimeEnd = static_cast<FileTime>(kFileTimeEndMs) * kFileTimeUnitsPerMs;

constexpr bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

constexpr int DaysInMonth(int year, int month) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

constexpr bool InRange(int value, int low, int high) { return value >= low && value <= high; }

bool IsValid(const CalendarTime& fields) {
  return InRange(fields.year, 1, 9999) && InRange(fields.month, 1, 12) &&
         InRange(fields.day, 1, DaysInMonth(fields.year, fields.month)) &&
         InRange(fields.hour, 0, 23) && InRange(fields.minute, 0, 59) &&
         InRange(fields.second, 0, 59) && InRange(fields.millisecond, 0, 999);
}

std::int64_t MillisecondOfDay(const CalendarTime& fields) {
  return ((fields.hour * 60LL + fields.minute) * 60 + fields.second) * kMsPerSecond +
         fields.millisecond;
}

// The calendar fields of a day counted from 1970-01-01 and a millisecond within that day.
CalendarTime FieldsOf(std::int64_t days, std::int64_t msOfDay) {
  const CivilDate date = CivilFromDays(days);
  const std::int64_t seconds = msOfDay / kMsPerSecond;
  return {static_cast<int>(date.year),
          static_cast<int>(date.month),
          static_cast<int>(date.day),
          static_cast<int>(seconds / 3600),
          static_cast<int>(seconds / 60 % 60),
          static_cast<int>(seconds % 60),
          static_cast<int>(msOfDay % kMsPerSecond)};
}

std::int64_t FloorDiv(std::int64_t value, std::int64_t divisor) {
  const std::int64_t quotient = value / divisor;
  return value % divisor < 0 ? quotient - 1 : quotient;
}

std::int64_t CurrentUtcOffsetMs() { return CurrentUtcOffsetSeconds() * kMsPerSecond; }

}  // namespace

double DatePart(LocalDateTime value) { return std::trunc(value); }

double TimePart(LocalDateTime value) { return std::fabs(value - std::trunc(value)); }

LocalDateTime ComposeLocalDateTime(double datePart, double timePart) {
  const double date = DatePart(datePart);
  const double time = TimePart(timePart);
  return date < 0 ? date - time : date + time;
}

std::optional<LocalDateTime> EncodeLocalDateTime(const CalendarTime& fields) {
  if (!IsValid(fields)) return std::nullopt;
  const std::int64_t days = DaysFromCivil(fields.year, fields.month, fields.day) - kLocalEpochDays;
  const double time = static_cast<double>(MillisecondOfDay(fields)) / kMsPerDay;
  return ComposeLocalDateTime(static_cast<double>(days), time);
}

std::optional<CalendarTime> DecodeLocalDateTime(LocalDateTime value) {
  if (!std::isfinite(value)) return std::nullopt;
  const double date = DatePart(value);
  // Checked as a double first so that huge values never reach the integer conversion.
  if (date < kFirstSerialDay || date > kLastSerialDay) return std::nullopt;
  std::int64_t days = static_cast<std::int64_t>(date);
  std::int64_t msOfDay = std::llround(TimePart(value) * kMsPerDay);
  if (msOfDay == kMsPerDay) {
    ++days;
    msOfDay = 0;
  }
  if (days > kLastSerialDay) return std::nullopt;
  return FieldsOf(days + kLocalEpochDays, msOfDay);
}

std::optional<LocalDateTime> AddSeconds(LocalDateTime value, std::int64_t seconds) {
  const auto fields = DecodeLocalDateTime(value);
  if (!fields) return std::nullopt;
  const std::int64_t ms = (DaysFromCivil(fields->year, fields->month, fields->day) - kLocalEpochDays) * kMsPerDay +
                          MillisecondOfDay(*fields) + seconds * kMsPerSecond;
  const std::int64_t days = FloorDiv(ms, kMsPerDay);
  if (days < kFirstSerialDay || days > kLastSerialDay) return std::nullopt;
  return EncodeLocalDateTime(FieldsOf(days + kLocalEpochDays, ms - days * kMsPerDay));
}

std::optional<LocalDateTime> FileTimeToLocalDateTime(FileTime fileTime) {
  if (fileTime >= kFileTimeEnd) return std::nullopt;
  const std::int64_t localMs =
      static_cast<std::int64_t>(fileTime / kFileTimeUnitsPerMs) + CurrentUtcOffsetMs();
  const std::int64_t days = FloorDiv(localMs, kMsPerDay);
  return EncodeLocalDateTime(FieldsOf(days + kFileTimeEpochDays, localMs - days * kMsPerDay));
}

std::optional<FileTime> LocalDateTimeToFileTime(LocalDateTime value) {
  const auto fields = DecodeLocalDateTime(value);
  if (!fields) return std::nullopt;
  const std::int64_t days =
      DaysFromCivil(fields->year, fields->month, fields->day) - kFileTimeEpochDays;
  const std::int64_t utcMs = days * kMsPerDay + MillisecondOfDay(*fields) - CurrentUtcOffsetMs();
  if (utcMs < 0 || utcMs >= kFileTimeEndMs) return std::nullopt;
  return static_cast<FileTime>(utcMs) * kFileTimeUnitsPerMs;
}

}  // namespace kestrel::time
