#include "odf/MetaValues.h"

#include <cstdio>

#include "ooxml/OoxmlDates.h"
#include "platform/text/Blanks.h"
#include "platform/time/DateTimeText.h"
#include "platform/time/LocalDateTime.h"
#include "platform/time/TimeZone.h"

namespace kestrel::odf {

namespace {

constexpr long long kSecondsPerMinute = 60;

// The local date-time a stored date means, to the second.
std::optional<time::LocalDateTime> StoredLocal(std::string_view stored, std::int64_t zoneOffsetSeconds) {
  const std::optional<ooxml::WrittenDateTime> parsed = ooxml::ParseWrittenDateTime(stored);
  if (!parsed) return std::nullopt;
  if (!parsed->offsetMinutes) return parsed->written;
  return time::AddSeconds(parsed->written, zoneOffsetSeconds - std::int64_t{*parsed->offsetMinutes} * 60);
}

std::string StoredForm(time::LocalDateTime local) {
  const std::optional<time::CalendarTime> fields = time::DecodeLocalDateTime(local);
  if (!fields) return {};
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d", fields->year, fields->month, fields->day,
                fields->hour, fields->minute, fields->second);
  return buffer;
}

}  // namespace

std::string StoredDateText(std::string_view stored) {
  const std::optional<time::LocalDateTime> local = StoredLocal(stored, time::StandardUtcOffsetSeconds());
  return local ? time::FormatDateTimeText(*local) : std::string();
}

std::optional<std::string> DateTextToStored(std::string_view text) {
  const std::optional<time::LocalDateTime> local = time::ParseDateTimeText(text);
  std::string stored = local ? StoredForm(*local) : std::string();
  if (stored.empty()) return std::nullopt;
  return stored;
}

std::optional<time::FileTime> StoredDateToFileTime(std::string_view stored) {
  const std::optional<time::LocalDateTime> local = StoredLocal(stored, time::CurrentUtcOffsetSeconds());
  const std::optional<time::FileTime> utc = local ? time::LocalDateTimeToFileTime(*local) : std::nullopt;
  if (!utc) return std::nullopt;
  return *utc - *utc % time::kFileTimeUnitsPerSecond;
}

std::string FileTimeToStoredDate(time::FileTime utc) {
  const std::optional<time::LocalDateTime> local = time::FileTimeToLocalDateTime(utc);
  return local ? StoredForm(*local) : std::string();
}

std::optional<long long> DurationMinutes(std::string_view stored) {
  std::string_view text = text::TrimSpaceAndControls(stored);
  if (text.size() < 2 || text.front() != 'P') return std::nullopt;
  text.remove_prefix(1);
  long long seconds = 0;
  bool inTime = false;
  bool anyField = false;
  while (!text.empty()) {
    if (text.front() == 'T' && !inTime) {
      inTime = true;
      text.remove_prefix(1);
      continue;
    }
    long long number = 0;
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
      if (digits >= 12) return std::nullopt;
      number = number * 10 + (text[digits] - '0');
      ++digits;
    }
    if (digits == 0) return std::nullopt;
    text.remove_prefix(digits);
    // Only seconds may have a fraction; it does not make a whole minute.
    if (inTime && !text.empty() && (text.front() == '.' || text.front() == ',')) {
      text.remove_prefix(1);
      std::size_t fraction = 0;
      while (fraction < text.size() && text[fraction] >= '0' && text[fraction] <= '9') ++fraction;
      if (fraction == 0 || fraction == text.size() || text[fraction] != 'S') return std::nullopt;
      text.remove_prefix(fraction);
    }
    if (text.empty()) return std::nullopt;
    const char unit = text.front();
    text.remove_prefix(1);
    if (!inTime && unit == 'W') {
      seconds += number * 7 * 86400;
    } else if (!inTime && unit == 'D') {
      seconds += number * 86400;
    } else if (inTime && unit == 'H') {
      seconds += number * 3600;
    } else if (inTime && unit == 'M') {
      seconds += number * kSecondsPerMinute;
    } else if (inTime && unit == 'S') {
      seconds += number;
    } else {
      return std::nullopt;
    }
    anyField = true;
  }
  if (!anyField) return std::nullopt;
  return seconds / kSecondsPerMinute;
}

std::string MinutesToDuration(long long minutes) {
  std::string duration = "PT";
  if (minutes >= 60) duration.append(std::to_string(minutes / 60)).append("H");
  duration.append(std::to_string(minutes % 60)).append("M");
  return duration;
}

std::optional<long long> CountOf(std::string_view text) {
  const std::string_view digits = text::TrimBlanks(text);
  if (digits.empty() || digits.size() > 18) return std::nullopt;
  long long count = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    count = count * 10 + (c - '0');
  }
  return count;
}

}  // namespace kestrel::odf
