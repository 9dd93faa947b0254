#include "export/JsonText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <optional>

#include "platform/time/LocalDateTime.h"

namespace kestrel::json {
namespace {

// The length of the well-formed UTF-8 sequence at the start of `text`, 0 when there is none:
// no overlong forms, no surrogates, nothing above U+10FFFF.
std::size_t SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

void AppendTwoDigits(std::string& out, int value) {
  out += static_cast<char>('0' + value / 10 % 10);
  out += static_cast<char>('0' + value % 10);
}

}  // namespace

void AppendValidUtf8(std::string& out, std::string_view text) {
  while (!text.empty()) {
    const std::size_t length = SequenceLength(text);
    if (length == 0) {
      out += kReplacement;
      text.remove_prefix(1);
    } else {
      out.append(text.substr(0, length));
      text.remove_prefix(length);
    }
  }
}

void AppendString(std::string& out, std::string_view text) {
  out += '"';
  std::size_t plain = 0;  // where the run not yet appended starts
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    AppendValidUtf8(out, text.substr(plain, i - plain));
    plain = i + 1;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        out += "\\u00";
        out += "0123456789abcdef"[c >> 4];
        out += "0123456789abcdef"[c & 0xF];
    }
  }
  AppendValidUtf8(out, text.substr(plain));
  out += '"';
}

std::string IsoDateTime(time::LocalDateTime local, std::int64_t utcOffsetSeconds) {
  const std::optional<time::CalendarTime> fields = time::DecodeLocalDateTime(local);
  if (!fields) return {};
  std::string text;
  AppendTwoDigits(text, fields->year / 100);
  AppendTwoDigits(text, fields->year);
  text += '-';
  AppendTwoDigits(text, fields->month);
  text += '-';
  AppendTwoDigits(text, fields->day);
  text += 'T';
  AppendTwoDigits(text, fields->hour);
  text += ':';
  AppendTwoDigits(text, fields->minute);
  text += ':';
  AppendTwoDigits(text, fields->second);
  const std::int64_t minutes = (utcOffsetSeconds < 0 ? -utcOffsetSeconds : utcOffsetSeconds) / 60;
  text += utcOffsetSeconds < 0 ? '-' : '+';
  AppendTwoDigits(text, static_cast<int>(minutes / 60));
  text += ':';
  AppendTwoDigits(text, static_cast<int>(minutes % 60));
  return text;
}

void Writer::BeforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!empty_.empty()) {
    if (!empty_.back()) text_ += ", ";
    empty_.back() = false;
  }
}

Writer& Writer::Open(char bracket) {
  BeforeValue();
  text_ += bracket;
  empty_.push_back(true);
  return *this;
}

Writer& Writer::Close(char bracket) {
  text_ += bracket;
  empty_.pop_back();
  return *this;
}

Writer& Writer::Key(std::string_view key) {
  BeforeValue();
  AppendString(text_, key);
  text_ += ": ";
  afterKey_ = true;
  return *this;
}

Writer& Writer::String(std::string_view text) {
  BeforeValue();
  AppendString(text_, text);
  return *this;
}

Writer& Writer::Number(std::int64_t number) {
  BeforeValue();
  text_ += std::to_string(number);
  return *this;
}

Writer& Writer::Number(double number) {
  if (!std::isfinite(number)) return Null();
  BeforeValue();
  // The shortest digits that read back as the same double.
  std::array<char, 32> buffer{};
  const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), number);
  text_.append(buffer.data(), written.ptr);
  return *this;
}

Writer& Writer::Bool(bool value) {
  BeforeValue();
  text_ += value ? "true" : "false";
  return *this;
}

Writer& Writer::Null() {
  BeforeValue();
  text_ += "null";
  return *this;
}

}  // namespace kestrel::json
