#include "platform/text/ShiftJisBestFit.h"

#include <algorithm>
#include <optional>

#include "platform/text/BestFit932Table.h"
#include "platform/text/CodePage.h"

namespace kestrel::text {
namespace {

// Bytes of the UTF-8 character at `at`: as many as its lead byte announces and actually follow,
// so that a broken sequence costs one "?" and never swallows the characters after it.
std::size_t CharacterLength(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t expected = 1;
  if (lead >= 0xF0 && lead <= 0xF7) {
    expected = 4;
  } else if (lead >= 0xE0) {
    expected = lead <= 0xEF ? 3 : 1;
  } else if (lead >= 0xC0) {
    expected = 2;
  }
  std::size_t length = 1;
  while (length < expected && at + length < text.size() &&
         (static_cast<unsigned char>(text[at + length]) & 0xC0) == 0x80) {
    ++length;
  }
  return length;
}

// The code point of one well-formed UTF-8 character.
char32_t CodePointOf(std::string_view character) {
  constexpr unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  char32_t codePoint = static_cast<unsigned char>(character[0]) & kLeadBits[character.size()];
  for (const char byte : character.substr(1)) codePoint = codePoint << 6 | (static_cast<unsigned char>(byte) & 0x3F);
  return codePoint;
}

// Appends the bytes of one character, the code page's own or a look-alike; false when it has none.
bool AppendCharacter(std::string& bytes, std::string_view character) {
  if (!IsValidUtf8(character)) return false;
  const char32_t codePoint = CodePointOf(character);
  const auto entry = std::lower_bound(kBestFit932.begin(), kBestFit932.end(), codePoint,
                                      [](const BestFitEntry& e, char32_t c) { return e.character < c; });
  if (entry != kBestFit932.end() && entry->character == codePoint) {
    if (entry->bytes > 0xFF) bytes += static_cast<char>(entry->bytes >> 8);
    bytes += static_cast<char>(entry->bytes & 0xFF);
    return true;
  }
  // Nothing at all is what glibc writes for a language tag.
  const std::optional<std::string> written = FromUtf8WithLookAlikes(character, kCodePageShiftJis);
  if (!written || written->empty()) return false;
  bytes += *written;
  return true;
}

}  // namespace

std::size_t AppendShiftJisBestFit(std::string& bytes, std::string_view utf8) {
  // Most text the code page holds as it is, in one go. Such text holds no character of the
  // table: glibc writes none of them (the table's generator makes sure).
  if (const std::optional<std::string> exact = FromUtf8(utf8, kCodePageShiftJis)) {
    bytes += *exact;
    return 0;
  }
  std::size_t replaced = 0;
  for (std::size_t at = 0; at < utf8.size();) {
    const std::string_view character = utf8.substr(at, CharacterLength(utf8, at));
    at += character.size();
    if (!AppendCharacter(bytes, character)) {
      bytes += '?';
      ++replaced;
    }
  }
  return replaced;
}

}  // namespace kestrel::text
