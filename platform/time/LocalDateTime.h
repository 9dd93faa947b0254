#pragma once
// Calendar arithmetic on LocalDateTime and the one conversion pair with UTC file times.
// Nothing here throws.

#include <cstdint>
#include <optional>

#include "platform/time/FileTime.h"

namespace kestrel::time {

struct CalendarTime {
  int year = 1899;  // 1 to 9999
  int month = 12;   // 1 to 12
  int day = 30;     // 1 to 31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// Fails for a field out of range (including the day of month) or a year outside 1 to 9999.
std::optional<LocalDateTime> EncodeLocalDateTime(const CalendarTime& fields);
// Fails when the value lies outside years 1 to 9999 or is not finite. The time of day is rounded
// to the millisecond.
std::optional<CalendarTime> DecodeLocalDateTime(LocalDateTime value);

// The date part (whole days) and the time part (fraction of a day, 0 <= t < 1) of a value, and
// the value made of the date of one and the time of another.
double DatePart(LocalDateTime value);
double TimePart(LocalDateTime value);
LocalDateTime ComposeLocalDateTime(double datePart, double timePart);

// The value moved by a number of seconds through the calendar, so it stays right on both sides
// of 1899-12-30; nullopt when the result leaves years 1 to 9999.
std::optional<LocalDateTime> AddSeconds(LocalDateTime value, std::int64_t seconds);

// Both use the UTC offset in force now, not the one in force at the date converted, so a file
// time survives the round trip to the millisecond (the 100 ns digits below it are dropped).
// nullopt when the value cannot be represented on the other side (years outside 1601 to 9999
// for file times, 1 to 9999 for local date-times).
std::optional<LocalDateTime> FileTimeToLocalDateTime(FileTime fileTime);
std::optional<FileTime> LocalDateTimeToFileTime(LocalDateTime value);

}  // namespace kestrel::time
