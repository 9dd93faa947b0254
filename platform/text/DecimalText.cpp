#include "platform/text/DecimalText.h"

#include <charconv>

#include "platform/text/Blanks.h"

namespace kestrel::text {

std::optional<std::int32_t> ParseInt32(std::string_view text) {
  text = TrimBlanks(text);
  // from_chars takes a minus sign but not a plus sign.
  if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
  std::int32_t value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value, 10);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

}  // namespace kestrel::text
