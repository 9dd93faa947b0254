#pragma once
// The JSON of the command-line companion's --json output: one value written on one line, strings
// always valid JSON whatever bytes they are given, and local date-times in ISO 8601.
// Nothing here throws except std::bad_alloc.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/time/FileTime.h"

namespace kestrel::json {

// Appends `text` with its well-formed UTF-8 sequences as they are and every other byte as U+FFFD,
// so that what reaches a UTF-8 reader never makes it stop.
void AppendValidUtf8(std::string& out, std::string_view text);

// Appends `text` as a JSON string: a quote, backslash and line feed, carriage return and tab
// escaped as \" \\ \n \r \t, the other control characters as \u00XX, the rest as AppendValidUtf8.
void AppendString(std::string& out, std::string_view text);

// "2021-04-01T09:15:30+09:00" for the local date-time and the offset (seconds to add to UTC) it
// is in; empty when the value lies outside years 1 to 9999. Whole seconds, as the program shows them.
std::string IsoDateTime(time::LocalDateTime local, std::int64_t utcOffsetSeconds);

// One JSON value built in order: a member's key first, then its value; the commas and the
// ": " after a key come by themselves.
class Writer {
 public:
  Writer& BeginObject() { return Open('{'); }
  Writer& EndObject() { return Close('}'); }
  Writer& BeginArray() { return Open('['); }
  Writer& EndArray() { return Close(']'); }
  Writer& Key(std::string_view key);
  Writer& String(std::string_view text);
  Writer& Number(std::int64_t number);
  // A number that is not finite has no JSON form: null.
  Writer& Number(double number);
  Writer& Bool(bool value);
  Writer& Null();

  const std::string& Text() const { return text_; }

 private:
  void BeforeValue();

  std::string text_;
  Writer& Open(char bracket);
  Writer& Close(char bracket);
  std::vector<bool> empty_;  // per open object or array: nothing in it yet
  bool afterKey_ = false;
};

}  // namespace kestrel::json
