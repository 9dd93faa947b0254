#pragma once
// The date-time text of the whole program: short date "yyyy/MM/dd", one space, long time
// "H:mm:ss"; the time is left out when it is exactly 00:00:00. One formatter, one parser.
// Nothing here throws except std::bad_alloc.

#include <optional>
#include <string>
#include <string_view>

#include "platform/time/FileTime.h"

namespace kestrel::time {

// Empty text when the value lies outside years 1 to 9999. Seconds are truncated after the
// time of day has been rounded to the millisecond.
std::string FormatDateTimeText(LocalDateTime value);

// Accepts what FormatDateTimeText produces, a date alone (time 00:00:00), and a time written as
// H:mm; leading and trailing blanks are ignored, and month, day and hour may have one or two digits.
std::optional<LocalDateTime> ParseDateTimeText(std::string_view text);

}  // namespace kestrel::time
