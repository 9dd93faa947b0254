#include "platform/storage/PropertySetRecode.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/LittleEndian.h"
#include "platform/storage/PropertySetStream.h"
#include "platform/text/CodePage.h"

namespace kestrel::storage::propset {

namespace {

using le::Append16;
using le::Append32;

// Gets one stored string (terminator included) and gives the bytes to store instead.
using Convert = std::function<std::optional<std::string>(std::span<const std::uint8_t>)>;

// How a counted string is laid out: whether zero padding to 4 bytes follows it, and whether its
// count is in 2-byte characters (dictionary names in code page 1200) rather than bytes.
struct StringForm {
  bool padded = false;
  bool countsCharacters = false;
};

// Bytes of a value that holds no code-page text and has a fixed size; 0 for any other type.
std::size_t FixedSize(std::uint16_t type) {
  switch (type) {
    case kVtI1: case kVtUi1:
      return 1;
    case kVtI2: case kVtUi2: case kVtBool:
      return 2;
    case kVtI4: case kVtUi4: case kVtInt: case kVtUint: case kVtR4: case kVtError:
      return 4;
    case kVtI8: case kVtUi8: case kVtR8: case kVtCy: case kVtDate: case kVtFiletime:
      return 8;
    case kVtClsid:
      return 16;
    default:
      return 0;
  }
}

bool IsCodePageString(std::uint16_t type) { return type == kVtLpstr || type == kVtBstr; }

// Types whose stored bytes cannot hold code-page text, so the switch keeps them as they are.
bool HoldsNoCodePageText(std::uint16_t type) {
  const std::uint16_t base = type & 0x0FFF;
  const std::uint16_t flags = type & 0xF000;
  if (flags == 0) {
    return FixedSize(base) != 0 || base == kVtEmpty || base == kVtNull || base == kVtDecimal ||
           base == kVtLpwstr || base == kVtBlob || base == kVtBlobObject || base == kVtCf;
  }
  if (flags == kVtVector || flags == kVtArray) return FixedSize(base) != 0 || base == kVtLpwstr || base == kVtCf;
  return false;
}

// One counted string read in form `from` and appended, converted, in form `to`.
bool RewriteString(ByteCursor& in, Bytes& out, StringForm from, StringForm to, const Convert& convert) {
  std::optional<std::uint32_t> count = in.U32();
  const std::uint64_t size = count ? (from.countsCharacters ? std::uint64_t{*count} * 2 : *count) : 0;
  std::optional<std::span<const std::uint8_t>> bytes = count ? in.Take(size) : std::nullopt;
  if (!bytes || (from.padded && !in.SkipZeroPadding(size))) return false;
  std::optional<std::string> replaced = convert(*bytes);
  if (!replaced || replaced->size() > UINT32_MAX || (to.countsCharacters && replaced->size() % 2 != 0)) return false;
  Append32(out, static_cast<std::uint32_t>(to.countsCharacters ? replaced->size() / 2 : replaced->size()));
  out.insert(out.end(), replaced->begin(), replaced->end());
  if (to.padded) PadTo4(out);
  return true;
}

// One element of a VT_VECTOR|VT_VARIANT: a string, or a fixed-size value kept as it is. Anything
// else (empty, nested vectors, blobs) makes the walk fail rather than guess its length.
bool RewriteVariant(ByteCursor& in, Bytes& out, StringForm from, StringForm to, const Convert& convert) {
  std::optional<std::uint16_t> type = in.U16();
  std::optional<std::uint16_t> reserved = type ? in.U16() : std::nullopt;
  if (!reserved) return false;
  Append16(out, *type);
  Append16(out, *reserved);
  if (IsCodePageString(*type)) return RewriteString(in, out, from, to, convert);
  const std::size_t size = FixedSize(*type);
  std::optional<std::span<const std::uint8_t>> bytes = size != 0 ? in.Take(size) : std::nullopt;
  if (!bytes || (from.padded && !in.SkipZeroPadding(size))) return false;
  out.insert(out.end(), bytes->begin(), bytes->end());
  if (to.padded) PadTo4(out);
  return true;
}

// The elements of a vector, each at least 4 bytes long.
bool RewriteVector(ByteCursor& in, Bytes& out, StringForm from, StringForm to, const Convert& convert, bool variants) {
  std::optional<std::uint32_t> count = in.U32();
  if (!count || *count > in.Remaining() / 4) return false;
  Append32(out, *count);
  for (std::uint32_t i = 0; i < *count; ++i) {
    const bool ok = variants ? RewriteVariant(in, out, from, to, convert) : RewriteString(in, out, from, to, convert);
    if (!ok) return false;
  }
  return true;
}

// A string-holding typed value. `padded` says whether the strings and elements inside a vector are
// each padded to 4 bytes (Word does not pad them; the format's description of the types does);
// the switch keeps the layout it finds. A vector must be followed by zero bytes only, which tells
// the two layouts apart.
std::optional<Bytes> RewriteValue(std::span<const std::uint8_t> raw, bool padded, const Convert& convert) {
  ByteCursor in(raw);
  std::optional<std::uint16_t> type = in.U16();
  std::optional<std::uint16_t> reserved = type ? in.U16() : std::nullopt;
  if (!reserved) return std::nullopt;
  Bytes out;
  Append16(out, *type);
  Append16(out, *reserved);
  const StringForm form{padded, false};
  bool ok = false;
  if (IsCodePageString(*type)) {
    ok = RewriteString(in, out, {}, {}, convert);
  } else if (*type == (kVtVector | kVtLpstr) || *type == (kVtVector | kVtBstr)) {
    ok = RewriteVector(in, out, form, form, convert, false) && in.RestIsZero();
  } else if (*type == (kVtVector | kVtVariant)) {
    ok = RewriteVector(in, out, form, form, convert, true) && in.RestIsZero();
  }
  if (!ok) return std::nullopt;
  PadTo4(out);
  return out;
}

// The dictionary: count, then (pid, length, name) entries, names NUL-terminated. In a code page
// other than 1200 the length counts bytes and entries follow each other unpadded (`padded` reads
// the entries of writers that pad them anyway); in 1200 it counts characters and every entry is
// padded to 4 bytes.
std::optional<Bytes> RewriteDictionary(std::span<const std::uint8_t> raw, StringForm from, StringForm to,
                                       const Convert& convert) {
  ByteCursor in(raw);
  std::optional<std::uint32_t> count = in.U32();
  if (!count || *count > in.Remaining() / 8) return std::nullopt;
  Bytes out;
  Append32(out, *count);
  const std::size_t terminator = from.countsCharacters ? 2 : 1;
  const Convert checkedName = [&](std::span<const std::uint8_t> bytes) -> std::optional<std::string> {
    if (bytes.size() < terminator) return std::nullopt;
    for (std::size_t i = bytes.size() - terminator; i < bytes.size(); ++i) {
      if (bytes[i] != 0) return std::nullopt;
    }
    return convert(bytes);
  };
  for (std::uint32_t i = 0; i < *count; ++i) {
    std::optional<std::uint32_t> pid = in.U32();
    if (!pid) return std::nullopt;
    Append32(out, *pid);
    if (!RewriteString(in, out, from, to, checkedName)) return std::nullopt;
  }
  if (!in.RestIsZero()) return std::nullopt;
  PadTo4(out);
  return out;
}

std::string_view AsChars(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Converts `raw` read in both vector layouts; the one that walks is used, and when both do they
// must find the same strings. The result is walked again, in its own layout, to prove it holds
// exactly the converted strings.
std::optional<Bytes> RecodeUnambiguous(std::span<const std::uint8_t> raw, bool dictionary, unsigned codePage) {
  const auto rewrite = [dictionary](std::span<const std::uint8_t> bytes, bool padded, bool wide,
                                    const Convert& convert) -> std::optional<Bytes> {
    if (!dictionary) return RewriteValue(bytes, padded, convert);
    const StringForm from = wide ? StringForm{true, true} : StringForm{padded, false};
    return RewriteDictionary(bytes, from, {true, true}, convert);
  };
  std::optional<Bytes> chosen;
  std::vector<std::string> chosenStrings;
  for (bool padded : {false, true}) {
    std::vector<std::string> strings;  // UTF-8
    const Convert toUtf16 = [&](std::span<const std::uint8_t> bytes) -> std::optional<std::string> {
      std::optional<std::string> utf8 = text::ToUtf8(AsChars(bytes), codePage);
      if (!utf8) return std::nullopt;
      strings.push_back(*utf8);
      return text::FromUtf8(*utf8, text::kCodePageUtf16Le);
    };
    std::optional<Bytes> rewritten = rewrite(raw, padded, false, toUtf16);
    if (!rewritten) continue;
    if (chosen && strings != chosenStrings) return std::nullopt;
    if (!chosen) {
      std::vector<std::string> found;
      const Convert collect = [&](std::span<const std::uint8_t> bytes) -> std::optional<std::string> {
        std::optional<std::string> utf8 = text::ToUtf8(AsChars(bytes), text::kCodePageUtf16Le);
        if (!utf8) return std::nullopt;
        found.push_back(*utf8);
        return std::string(AsChars(bytes));
      };
      if (!rewrite(*rewritten, padded, true, collect) || found != strings) return std::nullopt;
      chosen = std::move(rewritten);
      chosenStrings = std::move(strings);
    }
  }
  return chosen;
}

Outcome CannotConvert(std::uint32_t pid, unsigned codePage) {
  return Outcome::Failure(FailureKind::Unsupported,
                          "property " + std::to_string(pid) + " holds text that cannot be carried from code page " +
                              std::to_string(codePage) + " to UTF-16 exactly");
}

}  // namespace

Bytes CodePageValue(unsigned codePage) {
  Bytes value;
  Append16(value, kVtI2);
  Append16(value, 0);
  Append16(value, static_cast<std::uint16_t>(codePage));
  Append16(value, 0);
  return value;
}

Result<std::vector<RawProperty>> RecodeSectionToUtf16(std::span<const RawProperty> properties, unsigned codePage) {
  std::vector<RawProperty> recoded;
  bool hasCodePage = false;
  for (const RawProperty& property : properties) {
    RawProperty next{property.pid, {}};
    if (property.pid == kPidCodePage) {
      next.raw = CodePageValue(text::kCodePageUtf16Le);
      hasCodePage = true;
    } else {
      ByteCursor in(property.raw);
      std::optional<std::uint16_t> type = in.U16();
      const bool dictionary = property.pid == kPidDictionary;
      if (!dictionary && !type) return CannotConvert(property.pid, codePage);
      if (!dictionary && HoldsNoCodePageText(*type)) {
        next.raw = property.raw;
      } else {
        std::optional<Bytes> raw = RecodeUnambiguous(property.raw, dictionary, codePage);
        if (!raw) return CannotConvert(property.pid, codePage);
        next.raw = std::move(*raw);
      }
    }
    recoded.push_back(std::move(next));
  }
  if (!hasCodePage) recoded.push_back({kPidCodePage, CodePageValue(text::kCodePageUtf16Le)});
  return recoded;
}

}  // namespace kestrel::storage::propset
