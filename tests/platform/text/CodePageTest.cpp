#include "platform/text/CodePage.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <thread>
#include <vector>

namespace kestrel::text {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view kReplacement = "\uFFFD";

TEST(CodePage, KnowsTheCodePagesDocumentsName) {
  for (const unsigned codePage :
       {932U,   936U,   949U,   950U,   874U,   437U,   850U,   866U,   1250U,
        1251U,  1252U,  1253U,  1254U,  1255U,  1256U,  1257U,  1258U,  1361U,
        10000U, 20127U, 20866U, 21866U, 20932U, 51932U, 50220U, 28591U, 28592U,
        28595U, 28597U, 28599U, 28603U, 28605U, 65001U, 1200U,  1201U}) {
    EXPECT_TRUE(IsKnownCodePage(codePage)) << codePage;
  }
}

TEST(CodePage, RefusesEveryConversionForAnUnknownCodePage) {
  // 28602 would be ISO-8859-12, which was never finished; 65000 is UTF-7.
  for (const unsigned codePage : {0U, 1U, 42U, 28602U, 65000U, 99999U, UINT_MAX}) {
    SCOPED_TRACE(codePage);
    EXPECT_FALSE(IsKnownCodePage(codePage));
    EXPECT_FALSE(ToUtf8("abc", codePage).has_value());
    EXPECT_FALSE(ToUtf8("", codePage).has_value());
    EXPECT_EQ(ToUtf8Lossy("abc", codePage), "");
    EXPECT_FALSE(FromUtf8("abc", codePage).has_value());
    EXPECT_FALSE(FromUtf8("", codePage).has_value());
  }
}

// One character or word each, both ways, so that every name given to iconv is the right table.
TEST(CodePage, ConvertsASampleOfEachCodePageBothWays) {
  const struct {
    unsigned codePage;
    std::string_view utf8;
    std::string_view bytes;
  } samples[] = {
      {932, "日本", "\x93\xFA\x96\x7B"},
      {936, "中文", "\xD6\xD0\xCE\xC4"},
      {949, "한국", "\xC7\xD1\xB1\xB9"},
      {950, "中文", "\xA4\xA4\xA4\xE5"},
      {1250, "Łódź", "\xA3\xF3\x64\x9F"},
      {1251, "Привет", "\xCF\xF0\xE8\xE2\xE5\xF2"},
      {1252, "Título €", "T\xEDtulo \x80"},
      {1253, "Ωμέγα", "\xD9\xEC\xDD\xE3\xE1"},
      {10000, "é", "\x8E"},
      {20127, "plain", "plain"},
      {20866, "Я", "\xF1"},
      {21866, "ї", "\xA7"},
      {20932, "日本", "\xC6\xFC\xCB\xDC"},
      {51932, "日本", "\xC6\xFC\xCB\xDC"},
      {50220, "日本", "\x1B$BF|K\\\x1B(B"},
      {28591, "é", "\xE9"},
      {28605, "€", "\xA4"},
      {65001, "日本", "日本"},
      {1200, "A日", "A\0\xE5\x65"sv},
      {1201, "A日", "\0A\x65\xE5"sv},
  };
  for (const auto& [codePage, utf8, bytes] : samples) {
    SCOPED_TRACE(codePage);
    EXPECT_EQ(ToUtf8(bytes, codePage), utf8);
    EXPECT_EQ(FromUtf8(utf8, codePage), bytes);
  }
}

TEST(CodePage, ShiftJisRoundTripsJapaneseWithHalfWidthKanaAndVendorCharacters) {
  // ① and ㈱ come from the NEC row, 纊 from the IBM rows, ～ is Windows' reading of 0x8160.
  const std::string_view utf8 = "日本語のﾃｷｽﾄ①㈱纊～";
  const std::string_view bytes =
      "\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\xC3\xB7\xBD\xC4\x87\x40\x87\x8A\xFA\x5C\x81\x60";
  EXPECT_EQ(FromUtf8(utf8, kCodePageShiftJis), bytes);
  EXPECT_EQ(ToUtf8(bytes, kCodePageShiftJis), utf8);
  // The NEC-selected copy of the IBM rows reads the same.
  EXPECT_EQ(ToUtf8("\xED\x40", kCodePageShiftJis), "纊");
}

TEST(CodePage, ShiftJisRefusesWhatItCannotHold) {
  for (const std::string_view utf8 : {"é", "Café", "日本😀", "한"}) {
    EXPECT_FALSE(FromUtf8(utf8, kCodePageShiftJis).has_value()) << utf8;
  }
  // Undefined single bytes, a lead byte at the end, a lead byte with a bad second byte.
  for (const std::string_view bytes : {"\x80"sv, "\xA0"sv, "\xFD"sv, "ab\x82"sv, "\x82\x20"sv}) {
    EXPECT_FALSE(ToUtf8(bytes, kCodePageShiftJis).has_value());
  }
}

// The C library would write a look-alike for these, which reads back as another character.
TEST(CodePage, ShiftJisRefusesLookAlikes) {
  for (const std::string_view utf8 : {"¥100", "〜", "−", "‖", "—", "¢", "¬"}) {
    EXPECT_FALSE(FromUtf8(utf8, kCodePageShiftJis).has_value()) << utf8;
  }
  // Their Windows counterparts are fine.
  EXPECT_EQ(FromUtf8("～－∥―￠￢", kCodePageShiftJis),
            "\x81\x60\x81\x7C\x81\x61\x81\x5C\x81\x91\x81\xCA");
}

// Language tags (as in the flag of Scotland) are dropped silently by the C library unless the
// code page is a Unicode one.
TEST(CodePage, RefusesToDropLanguageTags) {
  const std::string_view tagged = "a\U000E0061b";
  EXPECT_FALSE(FromUtf8(tagged, 1252).has_value());
  EXPECT_FALSE(FromUtf8(tagged, kCodePageShiftJis).has_value());
  EXPECT_EQ(FromUtf8(tagged, kCodePageUtf16Le), "a\0\x40\xDB\x61\xDC\x62\0"sv);
}

TEST(CodePage, Windows1252RefusesJapaneseAndItsUndefinedBytes) {
  EXPECT_FALSE(FromUtf8("Título 日本", 1252).has_value());
  EXPECT_FALSE(ToUtf8("a\x81", 1252).has_value());
  EXPECT_FALSE(ToUtf8("\x9D", 1252).has_value());
}

TEST(CodePage, Utf16HandlesSurrogatePairsAndRefusesBrokenOnes) {
  const std::string_view utf8 = "A😀";
  EXPECT_EQ(FromUtf8(utf8, kCodePageUtf16Le), "A\0\x3D\xD8\x00\xDE"sv);
  EXPECT_EQ(ToUtf8("A\0\x3D\xD8\x00\xDE"sv, kCodePageUtf16Le), utf8);
  EXPECT_EQ(FromUtf8(utf8, 1201), "\0A\xD8\x3D\xDE\x00"sv);
  // A lone high surrogate, a lone low surrogate, an odd byte at the end.
  for (const std::string_view bytes : {"\x3D\xD8"sv, "\x00\xDE\x41\x00"sv, "A\0B"sv}) {
    EXPECT_FALSE(ToUtf8(bytes, kCodePageUtf16Le).has_value());
  }
}

// Not valid UTF-8: overlong, a surrogate, above U+10FFFF, five bytes, cut short, a stray
// continuation byte. glibc itself passes some of these through from UTF-8 to UTF-8.
constexpr std::string_view kBrokenUtf8[] = {
    "\xC0\x80", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80",
    "\xE6\x97", "a\x80",
};

TEST(CodePage, Utf8IsCheckedStrictly) {
  EXPECT_EQ(ToUtf8("\xF4\x8F\xBF\xBF", kCodePageUtf8), "\xF4\x8F\xBF\xBF");
  for (const std::string_view broken : kBrokenUtf8) {
    EXPECT_FALSE(ToUtf8(broken, kCodePageUtf8).has_value());
    for (const unsigned codePage : {kCodePageUtf8, kCodePageUtf16Le, kCodePageShiftJis, 1252U}) {
      EXPECT_FALSE(FromUtf8(broken, codePage).has_value()) << codePage;
    }
  }
}

TEST(CodePage, KeepsEmbeddedNulsAndEmptyText) {
  const std::string_view utf8 = "a\0日\0"sv;
  for (const unsigned codePage : {kCodePageShiftJis, kCodePageUtf16Le, kCodePageUtf8, 50220U}) {
    SCOPED_TRACE(codePage);
    const auto bytes = FromUtf8(utf8, codePage);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(ToUtf8(*bytes, codePage), utf8);
    EXPECT_EQ(ToUtf8Lossy(*bytes, codePage), utf8);
    EXPECT_EQ(FromUtf8("", codePage), "");
    EXPECT_EQ(ToUtf8("", codePage), "");
    EXPECT_EQ(ToUtf8Lossy("", codePage), "");
  }
  EXPECT_EQ(FromUtf8("a\0b"sv, 1252), "a\0b"sv);
}

TEST(CodePage, LossyReplacesEachUndefinedSequenceAndKeepsTheRest) {
  const std::string r(kReplacement);
  const struct {
    unsigned codePage;
    std::string_view bytes;
    std::string expected;
  } cases[] = {
      {kCodePageShiftJis, "\x82\xA0\x80\x82\xA2", "あ" + r + "い"},
      {kCodePageShiftJis, "\x82\xA0\x82", "あ" + r},
      {1252, "a\x81\x62", "a" + r + "b"},
      // UTF-16 skips whole code units, so the text after a lone surrogate stays readable.
      {kCodePageUtf16Le, "\x00\xD8\x41\x00"sv, r + "A"},
      {kCodePageUtf16Le, "A\0B"sv, "A" + r},
      {kCodePageUtf8, "a\xC0\x80\x62", "a" + r + r + "b"},
      {kCodePageUtf8, "\xF4\x90\x80\x80", r + r + r + r},
      {kCodePageUtf8, "日本\xE6\x97", "日本" + r + r},
      // Runs of eight ASCII bytes and more around sequences, checked a word at a time.
      {kCodePageUtf8, "abcdefgh日ijklmnopq\xC0rstuvwxyz", "abcdefgh日ijklmnopq" + r + "rstuvwxyz"},
      {kCodePageUtf8, "abcdefgh\xE6\x97", "abcdefgh" + r + r},
      {kCodePageUtf8, "abcdefg\xF0\x9F\x98\x80\xED\xA0\x80", "abcdefg😀" + r + r + r},
  };
  for (const auto& [codePage, bytes, expected] : cases) {
    EXPECT_EQ(ToUtf8Lossy(bytes, codePage), expected) << codePage;
  }
}

// Conversions share cached iconv descriptors; each call must start from the initial state, even
// after one that failed while switched to JIS X 0208.
TEST(CodePage, StartsEveryConversionAfresh) {
  EXPECT_FALSE(ToUtf8("\x1B$BF|\x80", 50220).has_value());
  EXPECT_EQ(ToUtf8("F|", 50220), "F|");
  EXPECT_FALSE(FromUtf8("日\x80", 50220).has_value());
  EXPECT_EQ(FromUtf8("A", 50220), "A");
  EXPECT_FALSE(ToUtf8("a\x82", kCodePageShiftJis).has_value());
  EXPECT_EQ(ToUtf8("\xB1", kCodePageShiftJis), "ｱ");
}

TEST(CodePage, ConvertsOnSeveralThreadsAtOnce) {
  // Nothing ISO-2022-JP lacks (it has no half-width kana).
  const std::string_view utf8 = "日本語のテキスト and some ASCII";
  std::vector<int> failures(4);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < failures.size(); ++t) {
    threads.emplace_back([&failures, t, utf8] {
      for (int i = 0; i < 2000; ++i) {
        const unsigned codePage = i % 2 == 0 ? kCodePageShiftJis : 50220U;
        const auto bytes = FromUtf8(utf8, codePage);
        if (!bytes || ToUtf8(*bytes, codePage) != utf8) ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace kestrel::text
