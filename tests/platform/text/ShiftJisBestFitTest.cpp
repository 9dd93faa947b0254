#include "platform/text/ShiftJisBestFit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/text/BestFit932Table.h"
#include "platform/text/CodePage.h"

namespace kestrel::text {
namespace {

struct Converted {
  std::string bytes;
  std::size_t replaced;
};

Converted Convert(std::string_view utf8) {
  Converted converted{"", 0};
  converted.replaced = AppendShiftJisBestFit(converted.bytes, utf8);
  return converted;
}

// The marks Japanese text typed on Linux or macOS holds, and characters of Windows' best-fit table:
// each becomes the Shift-JIS bytes that show it (or its look-alike), none counts as replaced.
TEST(ShiftJisBestFit, WritesTheBytesWindowsWritesForCharactersTheCodePageLacks) {
  const struct {
    std::string_view utf8;
    std::string_view bytes;
  } cases[] = {
      {"\u301C", "\x81\x60"},  // WAVE DASH
      {"\u2212", "\x81\x7C"},  // MINUS SIGN
      {"\u00A5", "\x5C"},      // YEN SIGN
      {"\u203E", "\x7E"},      // OVERLINE
      {"\u2014", "\x81\x5C"},  // EM DASH
      {"\u2016", "\x81\x61"},  // DOUBLE VERTICAL LINE
      {"\u00A2", "\x81\x91"},  // CENT SIGN
      {"\u00A3", "\x81\x92"},  // POUND SIGN
      {"\u00AC", "\x81\xCA"},  // NOT SIGN
      {"\u00E9", "e"},         // é: best fit
      {"\u00A6", "|"},         // BROKEN BAR
      {"\u00B5", "\x83\xCA"},  // MICRO SIGN as Greek mu
      {"\u3094", "\x83\x94"},  // HIRAGANA VU as katakana
      {"\u0080", "\x80"},      // a C1 control: its own byte
      {"\uF8F0", "\xA0"},      // private use: the code page's undefined bytes
      {"\u2252\u2170\u7E8A", "\x81\xE0\xFA\x40\xFA\x5C"},  // where the code page holds a character twice
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.utf8));
    const Converted converted = Convert(c.utf8);
    EXPECT_EQ(converted.bytes, c.bytes);
    EXPECT_EQ(converted.replaced, 0U);
  }
}

TEST(ShiftJisBestFit, CountsEachCharacterWrittenAsQuestionMark) {
  const struct {
    std::string_view utf8;
    std::string_view bytes;
    std::size_t replaced;
  } cases[] = {
      {"\u05E9\u05DC\u05D5\u05DD", "????", 4},             // Hebrew
      {"a\U0001F600b", "a?b", 1},                          // an emoji
      {"\u301C\u00A0\U0001F600\u00E9", "\x81\x60??e", 2},  // no-break space and emoji only
      {"x\U000E0041y", "x?y", 1},                          // a language tag glibc would drop
      {"\xE6\x97x", "?x", 1},                              // a broken sequence, its neighbour kept
      {"\xFF\xC0\xAF", "??", 2},                           // a stray byte, an overlong sequence
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.utf8));
    const Converted converted = Convert(c.utf8);
    EXPECT_EQ(converted.bytes, c.bytes);
    EXPECT_EQ(converted.replaced, c.replaced);
  }
}

// The lookup needs the table in ascending order, each character once, and converting text the code
// page holds in one go needs glibc to write none of the table's characters.
TEST(ShiftJisBestFit, TableIsAscendingAndHoldsOnlyWhatGlibcCannotWrite) {
  EXPECT_TRUE(std::is_sorted(kBestFit932.begin(), kBestFit932.end(),
                             [](const BestFitEntry& a, const BestFitEntry& b) { return a.character <= b.character; }));
  for (const BestFitEntry& entry : kBestFit932) {
    const char32_t c = entry.character;
    ASSERT_TRUE(c >= 0x80 && c < 0x10000) << std::hex << static_cast<unsigned>(c);
    const std::string utf8 =
        c < 0x800 ? std::string{static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))}
                  : std::string{static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                                static_cast<char>(0x80 | (c & 0x3F))};
    EXPECT_FALSE(FromUtf8WithLookAlikes(utf8, kCodePageShiftJis).has_value()) << std::hex << static_cast<unsigned>(c);
  }
}

}  // namespace
}  // namespace kestrel::text
