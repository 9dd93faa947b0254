#pragma once
// Conversion between UTF-8 (the program's text everywhere in memory) and the Windows code pages
// that files name: 932, 1252, 936, 949, 950, 1250, 1251, 10000, 65001, 1200 (UTF-16LE), ...
// Nothing here throws except std::bad_alloc.

#include <optional>
#include <string>
#include <string_view>

namespace kestrel::text {

inline constexpr unsigned kCodePageShiftJis = 932;
inline constexpr unsigned kCodePageUtf16Le = 1200;
inline constexpr unsigned kCodePageUtf8 = 65001;

// Whether the C library can convert this code page at all.
bool IsKnownCodePage(unsigned codePage);

// Exact conversion: nullopt when the input is not valid in the code page or the code page is
// unknown. The result keeps any NUL characters of the input.
std::optional<std::string> ToUtf8(std::string_view bytes, unsigned codePage);

// Lenient conversion for display: each byte sequence the code page does not define becomes
// U+FFFD. Empty for an unknown code page.
std::string ToUtf8Lossy(std::string_view bytes, unsigned codePage);

// Exact conversion: nullopt when a character cannot be held by the code page, the input is not
// valid UTF-8, or the code page is unknown. Never substitutes characters.
std::optional<std::string> FromUtf8(std::string_view utf8, unsigned codePage);

// What the C library writes, its look-alikes included (U+301C as 0x8160 and U+00A5 as a
// backslash in code page 932): bytes that need not read back as the same text. Language tags are
// dropped without a trace. nullopt, as for FromUtf8, when a character has no bytes at all.
std::optional<std::string> FromUtf8WithLookAlikes(std::string_view utf8, unsigned codePage);

// Well-formed UTF-8: no stray or overlong sequences, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text);

}  // namespace kestrel::text
