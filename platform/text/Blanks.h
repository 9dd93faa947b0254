#pragma once
// What counts as blank around a typed value.
// Nothing here throws.

#include <string_view>

namespace kestrel::text {

// A space or a tab: what may stand around, and between the parts of, a typed number or date.
constexpr bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Without leading and trailing blanks.
constexpr std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Without leading and trailing spaces and control characters (line breaks included), as values
// read from or bound for a document part are trimmed.
constexpr std::string_view TrimSpaceAndControls(std::string_view text) {
  auto trimmed = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && trimmed(text.front())) text.remove_prefix(1);
  while (!text.empty() && trimmed(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace kestrel::text
