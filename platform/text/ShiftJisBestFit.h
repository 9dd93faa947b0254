#pragma once
// Text in code page 932 as Windows' own conversion writes it for files meant for Japanese
// spreadsheets: what the code page holds as it is, Windows' best-fit look-alike for what it does
// not (é as e, ¦ as |, µ as μ), and "?" for the rest (Hebrew, most emoji). The marks a Japanese
// input method on Linux or macOS types (〜 U+301C, − U+2212, — U+2014, ‖ U+2016, ‾ U+203E) get the
// Shift-JIS bytes that show the same mark, as glibc writes them.
// Nothing here throws except std::bad_alloc.

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrel::text {

// Appends `utf8` to `bytes` in code page 932 and answers how many characters became "?"; a broken
// UTF-8 sequence is one of them and never swallows the characters after it.
std::size_t AppendShiftJisBestFit(std::string& bytes, std::string_view utf8);

}  // namespace kestrel::text
