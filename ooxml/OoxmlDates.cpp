#include "ooxml/OoxmlDates.h"

#include <cstdint>
#include <cstdio>

#include "platform/text/Blanks.h"
#include "platform/time/DateTimeText.h"
#include "platform/time/LocalDateTime.h"
#include "platform/time/TimeZone.h"

namespace kestrel::ooxml {

namespace {

constexpr int kMaxOffsetMinutes = 14 * 60;  // the widest offset any zone uses

// Reads the text from left to right, one fixed field at a time, the way W3CDTF writes it.
class W3cdtfReader {
 public:
  explicit W3cdtfReader(std::string_view text) : text_(text) {}

  bool AtEnd() const { return at_ == text_.size(); }

  // Exactly `count` decimal digits.
  std::optional<int> Digits(std::size_t count) {
    if (text_.size() - at_ < count) return std::nullopt;
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const char c = text_[at_ + i];
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + (c - '0');
    }
    at_ += count;
    return value;
  }

  bool Skip(char c) {
    if (AtEnd() || text_[at_] != c) return false;
    ++at_;
    return true;
  }

  // One or more digits after the decimal point; their value does not count.
  bool SkipFraction() {
    const std::size_t start = at_;
    while (!AtEnd() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    return at_ > start;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

// "Z", or "+hh:mm" / "-hh:mm": the minutes to subtract from the written time to reach UTC.
std::optional<int> ReadZoneOffsetMinutes(W3cdtfReader& reader) {
  if (reader.Skip('Z')) return 0;
  const bool ahead = reader.Skip('+');
  if (!ahead && !reader.Skip('-')) return std::nullopt;
  const auto hours = reader.Digits(2);
  if (!hours || !reader.Skip(':')) return std::nullopt;
  const auto minutes = reader.Digits(2);
  if (!minutes || *minutes > 59) return std::nullopt;
  const int offset = *hours * 60 + *minutes;
  if (offset > kMaxOffsetMinutes) return std::nullopt;
  return ahead ? offset : -offset;
}

}  // namespace

std::optional<WrittenDateTime> ParseWrittenDateTime(std::string_view stored) {
  W3cdtfReader reader(text::TrimSpaceAndControls(stored));
  time::CalendarTime fields{0, 1, 1, 0, 0, 0, 0};
  const auto year = reader.Digits(4);
  if (!year) return std::nullopt;
  fields.year = *year;
  WrittenDateTime parsed;
  if (reader.Skip('-')) {
    const auto month = reader.Digits(2);
    if (!month) return std::nullopt;
    fields.month = *month;
    if (reader.Skip('-')) {
      const auto day = reader.Digits(2);
      if (!day) return std::nullopt;
      fields.day = *day;
      if (reader.Skip('T')) {
        const auto hour = reader.Digits(2);
        if (!hour || !reader.Skip(':')) return std::nullopt;
        const auto minute = reader.Digits(2);
        if (!minute) return std::nullopt;
        fields.hour = *hour;
        fields.minute = *minute;
        if (reader.Skip(':')) {
          const auto second = reader.Digits(2);
          if (!second) return std::nullopt;
          fields.second = *second;
          if (reader.Skip('.') && !reader.SkipFraction()) return std::nullopt;
        }
        parsed.hasTime = true;
        if (!reader.AtEnd()) {
          parsed.offsetMinutes = ReadZoneOffsetMinutes(reader);
          if (!parsed.offsetMinutes) return std::nullopt;
        }
      }
    }
  }
  if (!reader.AtEnd()) return std::nullopt;
  // EncodeLocalDateTime refuses hour 24, second 60 and days the month does not have.
  const auto written = time::EncodeLocalDateTime(fields);
  if (!written) return std::nullopt;
  parsed.written = *written;
  return parsed;
}

std::optional<time::LocalDateTime> ParseW3cdtf(std::string_view stored) {
  const std::optional<WrittenDateTime> parsed = ParseWrittenDateTime(stored);
  // A time always says where it stands against UTC.
  if (!parsed || (parsed->hasTime && !parsed->offsetMinutes)) return std::nullopt;
  return time::AddSeconds(parsed->written, -std::int64_t{parsed->offsetMinutes.value_or(0)} * 60);
}

std::string UtcIsoToLocalText(std::string_view stored) {
  const auto utc = ParseW3cdtf(stored);
  const auto local = utc ? time::AddSeconds(*utc, time::StandardUtcOffsetSeconds()) : std::nullopt;
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
