#include "platform/xml/XmlEncoding.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

#include "platform/text/CodePage.h"

namespace kestrel::xml {
namespace {

constexpr unsigned kUtf16Be = 1201;

struct NamedCodePage {
  std::string_view name;  // lower case
  unsigned codePage;
};

// The IANA names parts are found with; windows-125x and iso-8859-x are matched by pattern below.
constexpr std::array kNamedCodePages{
    NamedCodePage{"utf-8", text::kCodePageUtf8},   NamedCodePage{"utf8", text::kCodePageUtf8},
    NamedCodePage{"utf-16", text::kCodePageUtf16Le}, NamedCodePage{"utf-16le", text::kCodePageUtf16Le},
    NamedCodePage{"utf-16be", kUtf16Be},           NamedCodePage{"shift_jis", 932},
    NamedCodePage{"shift-jis", 932},               NamedCodePage{"sjis", 932},
    NamedCodePage{"x-sjis", 932},                  NamedCodePage{"windows-31j", 932},
    NamedCodePage{"cp932", 932},                   NamedCodePage{"ms_kanji", 932},
    NamedCodePage{"euc-jp", 51932},                NamedCodePage{"iso-2022-jp", 50220},
    NamedCodePage{"us-ascii", 20127},              NamedCodePage{"ascii", 20127},
    NamedCodePage{"gb2312", 936},                  NamedCodePage{"gbk", 936},
    NamedCodePage{"big5", 950},                    NamedCodePage{"euc-kr", 949},
    NamedCodePage{"ks_c_5601-1987", 949},          NamedCodePage{"koi8-r", 20866},
    NamedCodePage{"koi8-u", 21866},                NamedCodePage{"macintosh", 10000},
};

bool IsUtf16(unsigned codePage) { return codePage == text::kCodePageUtf16Le || codePage == kUtf16Be; }

std::optional<unsigned> NumberAfter(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix)) return std::nullopt;
  const std::string_view digits = name.substr(prefix.size());
  unsigned number = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (error != std::errc() || end != digits.data() + digits.size() || digits.empty()) return std::nullopt;
  return number;
}

Outcome Damaged(std::string message) { return Outcome::Failure(FailureKind::Damaged, std::move(message)); }

Result<unsigned> CodePageOf(std::string_view declared) {
  std::string name(declared);
  std::transform(name.begin(), name.end(), name.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  for (const auto& named : kNamedCodePages) {
    if (named.name == name) return named.codePage;
  }
  if (const auto number = NumberAfter(name, "windows-"); number && *number >= 1250 && *number <= 1258) {
    return *number;
  }
  if (const auto number = NumberAfter(name, "iso-8859-"); number && *number >= 1 && *number <= 15 &&
                                                           text::IsKnownCodePage(28590 + *number)) {
    return 28590 + *number;
  }
  return Outcome::Failure(FailureKind::Unsupported, "Unsupported encoding: " + std::string(declared));
}

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The encoding="..." of a leading XML declaration, read from text whose markup is ASCII.
std::optional<std::string_view> DeclaredEncoding(std::string_view text) {
  if (text.size() < 6 || !text.starts_with("<?xml") || !IsXmlSpace(text[5])) return std::nullopt;
  const std::string_view declaration = text.substr(0, text.find("?>"));
  for (std::size_t at = declaration.find("encoding"); at != std::string_view::npos;
       at = declaration.find("encoding", at + 1)) {
    if (!IsXmlSpace(declaration[at - 1])) continue;
    std::size_t pos = at + 8;
    while (pos < declaration.size() && IsXmlSpace(declaration[pos])) ++pos;
    if (pos >= declaration.size() || declaration[pos] != '=') continue;
    ++pos;
    while (pos < declaration.size() && IsXmlSpace(declaration[pos])) ++pos;
    if (pos >= declaration.size() || (declaration[pos] != '"' && declaration[pos] != '\'')) continue;
    const std::size_t close = declaration.find(declaration[pos], pos + 1);
    if (close == std::string_view::npos) return std::nullopt;
    return declaration.substr(pos + 1, close - pos - 1);
  }
  return std::nullopt;
}

Outcome Convert(std::string_view bytes, DecodedXml& decoded) {
  auto utf8 = text::ToUtf8(bytes, decoded.encoding.codePage);
  if (!utf8) return Damaged("The part is not valid in code page " + std::to_string(decoded.encoding.codePage));
  decoded.utf8 = std::move(*utf8);
  return Outcome::Success();
}

}  // namespace

Result<DecodedXml> DecodeXmlBytes(std::span<const std::uint8_t> bytes) {
  const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  DecodedXml decoded;
  std::string_view body = raw;
  if (raw.starts_with("\xEF\xBB\xBF")) {
    decoded.encoding = {text::kCodePageUtf8, true};
    body.remove_prefix(3);
  } else if (raw.starts_with("\xFF\xFE")) {
    decoded.encoding = {text::kCodePageUtf16Le, true};
    body.remove_prefix(2);
  } else if (raw.starts_with("\xFE\xFF")) {
    decoded.encoding = {kUtf16Be, true};
    body.remove_prefix(2);
  } else if (raw.starts_with(std::string_view("<\0?\0", 4))) {
    decoded.encoding = {text::kCodePageUtf16Le, false};
  } else if (raw.starts_with(std::string_view("\0<\0?", 4))) {
    decoded.encoding = {kUtf16Be, false};
  } else {
    // Without a mark the declaration's markup is ASCII, so its name can be read before decoding.
    const auto declared = DeclaredEncoding(raw);
    const Result<unsigned> codePage = declared ? CodePageOf(*declared) : Result<unsigned>(text::kCodePageUtf8);
    if (!codePage) return codePage.outcome();
    if (IsUtf16(*codePage)) return Damaged("UTF-16 declared for a part written in single bytes");
    decoded.encoding.codePage = *codePage;
    if (Outcome converted = Convert(body, decoded); !converted) return converted;
    return decoded;
  }
  if (Outcome converted = Convert(body, decoded); !converted) return converted;
  // A declaration that names another encoding than the mark would be saved under a false name.
  if (const auto declared = DeclaredEncoding(decoded.utf8)) {
    const Result<unsigned> codePage = CodePageOf(*declared);
    if (!codePage) return codePage.outcome();
    if (IsUtf16(*codePage) != IsUtf16(decoded.encoding.codePage) ||
        (!IsUtf16(*codePage) && *codePage != text::kCodePageUtf8)) {
      return Damaged("The byte-order mark contradicts the declared encoding " + std::string(*declared));
    }
  }
  return decoded;
}

Result<std::vector<std::uint8_t>> EncodeXmlText(std::string_view utf8, const XmlEncoding& encoding) {
  const auto encoded = text::FromUtf8(utf8, encoding.codePage);
  if (!encoded) {
    return Outcome::Failure(FailureKind::InvalidValue,
                            "The text cannot be encoded in code page " + std::to_string(encoding.codePage));
  }
  std::string_view mark;
  if (encoding.byteOrderMark) {
    if (encoding.codePage == text::kCodePageUtf8) mark = "\xEF\xBB\xBF";
    if (encoding.codePage == text::kCodePageUtf16Le) mark = "\xFF\xFE";
    if (encoding.codePage == kUtf16Be) mark = "\xFE\xFF";
  }
  std::vector<std::uint8_t> bytes;
  bytes.reserve(mark.size() + encoded->size());
  bytes.insert(bytes.end(), mark.begin(), mark.end());
  bytes.insert(bytes.end(), encoded->begin(), encoded->end());
  return bytes;
}

}  // namespace kestrel::xml
