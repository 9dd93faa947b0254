#include "platform/storage/PropertySetRecode.h"

#include <functional>
#include <string>
#include <string_view>

#include "platform/storage/PropertySetStream.h"
#include "platform/text/CodePage.h"

namespace kestrel::storage::propset {

namespace {

// Gets one stored string (terminator included) and gives the bytes to store instead.
using Recode = std::function<std::optional<std::string>(std::span<const std::uint8_t>)>;

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

// Size, bytes and (inside padded vectors) zero padding of one string, rewritten through `recode`.
bool RewriteString(ByteCursor& in, Bytes& out, bool padded, const Recode& recode) {
  std::optional<std::uint32_t> size = in.U32();
  std::optional<std::span<const std::uint8_t>> bytes = size ? in.Take(*size) : std::nullopt;
  if (!bytes || (padded && !in.SkipZeroPadding(*size))) return false;
  std::optional<std::string> replaced = recode(*bytes);
  if (!replaced || replaced->size() > UINT32_MAX) return false;
  AppendU32(out, static_cast<std::uint32_t>(replaced->size()));
  out.insert(out.end(), replaced->begin(), replaced->end());
  if (padded) PadTo4(out);
  return true;
}

// One element of a VT_VECTOR|VT_VARIANT: a string, or a fixed-size value kept as it is. Anything
// else (empty, nested vectors, blobs) makes the walk fail rather than guess its length.
bool RewriteVariant(ByteCursor& in, Bytes& out, bool padded, const Recode& recode) {
  std::optional<std::uint16_t> type = in.U16();
  std::optional<std::uint16_t> reserved = type ? in.U16() : std::nullopt;
  if (!reserved) return false;
  AppendU16(out, *type);
  AppendU16(out, *reserved);
  if (IsCodePageString(*type)) return RewriteString(in, out, padded, recode);
  const std::size_t size = FixedSize(*type);
  std::optional<std::span<const std::uint8_t>> bytes = size != 0 ? in.Take(size) : std::nullopt;
  if (!bytes || (padded && !in.SkipZeroPadding(size))) return false;
  out.insert(out.end(), bytes->begin(), bytes->end());
  if (padded) PadTo4(out);
  return true;
}

// The elements of a vector, each at most 4 bytes long in its smallest form.
bool RewriteVector(ByteCursor& in, Bytes& out, bool padded, const Recode& recode, bool variants) {
  std::optional<std::uint32_t> count = in.U32();
  if (!count || *count > in.Remaining() / 4) return false;
  AppendU32(out, *count);
  for (std::uint32_t i = 0; i < *count; ++i) {
    const bool ok = variants ? RewriteVariant(in, out, padded, recode) : RewriteString(in, out, padded, recode);
    if (!ok) return false;
  }
  return true;
}

// A string-holding typed value. `padded` says whether the strings and elements inside a vector are
// each padded to 4 bytes (Word does not pad them; the format's description of the types does).
// A vector must be followed by zero bytes only, which tells the two layouts apart.
std::optional<Bytes> RewriteValue(std::span<const std::uint8_t> raw, bool padded, const Recode& recode) {
  ByteCursor in(raw);
  std::optional<std::uint16_t> type = in.U16();
  std::optional<std::uint16_t> reserved = type ? in.U16() : std::nullopt;
  if (!reserved) return std::nullopt;
  Bytes out;
  AppendU16(out, *type);
  AppendU16(out, *reserved);
  bool ok = false;
  if (IsCodePageString(*type)) {
    ok = RewriteString(in, out, false, recode);
  } else if (*type == (kVtVector | kVtLpstr) || *type == (kVtVector | kVtBstr)) {
    ok = RewriteVector(in, out, padded, recode, false) && in.RestIsZero();
  } else if (*type == (kVtVector | kVtVariant)) {
    ok = RewriteVector(in, out, padded, recode, true) && in.RestIsZero();
  }
  if (!ok) return std::nullopt;
  PadTo4(out);
  return out;
}

// The dictionary: count, then (pid, length, name) entries, names NUL-terminated in the code page.
std::optional<Bytes> RewriteDictionary(std::span<const std::uint8_t> raw, bool padded, const Recode& recode) {
  ByteCursor in(raw);
  std::optional<std::uint32_t> count = in.U32();
  if (!count || *count > in.Remaining() / 8) return std::nullopt;
  Bytes out;
  AppendU32(out, *count);
  for (std::uint32_t i = 0; i < *count; ++i) {
    std::optional<std::uint32_t> pid = in.U32();
    if (!pid) return std::nullopt;
    AppendU32(out, *pid);
    const auto checkedName = [&](std::span<const std::uint8_t> bytes) -> std::optional<std::string> {
      if (bytes.empty() || bytes.back() != 0) return std::nullopt;
      return recode(bytes);
    };
    if (!RewriteString(in, out, padded, checkedName)) return std::nullopt;
  }
  if (!in.RestIsZero()) return std::nullopt;
  PadTo4(out);
  return out;
}

using Rewrite = std::optional<Bytes> (*)(std::span<const std::uint8_t>, bool, const Recode&);

// Rewrites `raw` in both layouts; the one that walks is used, and when both do they must find the
// same strings. The result is walked again to prove it holds exactly the converted strings.
std::optional<Bytes> RewriteUnambiguous(Rewrite rewrite, std::span<const std::uint8_t> raw, unsigned codePage) {
  std::optional<Bytes> chosen;
  std::vector<std::string> chosenStrings;
  for (bool padded : {false, true}) {
    std::vector<std::string> strings;
    const Recode toUtf8 = [&](std::span<const std::uint8_t> bytes) -> std::optional<std::string> {
      std::optional<std::string> utf8 =
          text::ToUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), codePage);
      if (utf8) strings.push_back(*utf8);
      return utf8;
    };
    std::optional<Bytes> rewritten = rewrite(raw, padded, toUtf8);
    if (!rewritten) continue;
    if (chosen && strings != chosenStrings) return std::nullopt;
    if (!chosen) {
      std::vector<std::string> found;
      const Recode collect = [&](std::span<const std::uint8_t> bytes) -> std::optional<std::string> {
        found.emplace_back(bytes.begin(), bytes.end());
        return found.back();
      };
      if (!rewrite(*rewritten, padded, collect) || found != strings) return std::nullopt;
      chosen = std::move(rewritten);
      chosenStrings = std::move(strings);
    }
  }
  return chosen;
}

}  // namespace

Bytes CodePageValue(unsigned codePage) {
  Bytes value;
  AppendU16(value, kVtI2);
  AppendU16(value, 0);
  AppendU16(value, static_cast<std::uint16_t>(codePage));
  AppendU16(value, 0);
  return value;
}

std::optional<std::vector<RawProperty>> RecodeSectionToUtf8(std::span<const RawProperty> properties,
                                                            unsigned codePage) {
  std::vector<RawProperty> recoded;
  bool hasCodePage = false;
  for (const RawProperty& property : properties) {
    RawProperty next{property.pid, {}};
    if (property.pid == kPidCodePage) {
      next.raw = CodePageValue(text::kCodePageUtf8);
      hasCodePage = true;
    } else if (property.pid == kPidDictionary) {
      std::optional<Bytes> raw = RewriteUnambiguous(RewriteDictionary, property.raw, codePage);
      if (!raw) return std::nullopt;
      next.raw = std::move(*raw);
    } else {
      ByteCursor in(property.raw);
      std::optional<std::uint16_t> type = in.U16();
      if (!type) return std::nullopt;
      if (HoldsNoCodePageText(*type)) {
        next.raw = property.raw;
      } else {
        std::optional<Bytes> raw = RewriteUnambiguous(RewriteValue, property.raw, codePage);
        if (!raw) return std::nullopt;
        next.raw = std::move(*raw);
      }
    }
    recoded.push_back(std::move(next));
  }
  if (!hasCodePage) recoded.push_back({kPidCodePage, CodePageValue(text::kCodePageUtf8)});
  return recoded;
}

}  // namespace kestrel::storage::propset
