#include "ooxml/OoxmlDates.h"

#include <cstdio>

#include "platform/text/Blanks.h"
#include "platform/text/DecimalText.h"
#include "platform/time/DateTimeText.h"
#include "platform/time/LocalDateTime.h"
#include "platform/time/TimeZone.h"

namespace kestrel::ooxml {

namespace {

// A field at a fixed place (0-based here), 0 when it is not a number.
int FieldAt(std::string_view text, std::size_t at, std::size_t length) {
  if (at >= text.size()) return 0;
  return text::ParseInt32(text.substr(at, length)).value_or(0);
}

}  // namespace

std::string UtcIsoToLocalText(std::string_view stored) {
  if (stored.find('Z') == std::string_view::npos || stored.find('T') == std::string_view::npos) return {};
  const std::string_view text = text::TrimSpaceAndControls(stored);
  // Separators are not looked at; fractions of a second and any offset after them are ignored.
  const time::CalendarTime utc{FieldAt(text, 0, 4),  FieldAt(text, 5, 2),  FieldAt(text, 8, 2),
                               FieldAt(text, 11, 2), FieldAt(text, 14, 2), FieldAt(text, 17, 2), 0};
  const auto value = time::EncodeLocalDateTime(utc);
  const auto local = value ? time::AddSeconds(*value, time::StandardUtcOffsetSeconds()) : std::nullopt;
  return local ? time::FormatDateTimeText(*local) : std::string();
}

std::string LocalTextToUtcIso(std::string_view text) {
  const auto local = time::ParseDateTimeText(text);
  const auto utc = local ? time::AddSeconds(*local, -time::StandardUtcOffsetSeconds()) : std::nullopt;
  const auto fields = utc ? time::DecodeLocalDateTime(*utc) : std::nullopt;
  if (!fields) return {};
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", fields->year, fields->month, fields->day,
                fields->hour, fields->minute, fields->second);
  return buffer;
}

}  // namespace kestrel::ooxml
