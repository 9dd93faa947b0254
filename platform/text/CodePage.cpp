#include "platform/text/CodePage.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <unordered_map>

namespace kestrel::text {
namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";
constexpr std::size_t kIconvFailed = static_cast<std::size_t>(-1);

std::string IconvName(unsigned codePage) {
  switch (codePage) {
    case kCodePageUtf8: return "UTF-8";
    case kCodePageUtf16Le: return "UTF-16LE";
    case 1201: return "UTF-16BE";
    case 10000: return "MACINTOSH";
    case 20127: return "ASCII";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 20932:
    case 51932: return "EUC-JP";
    case 50220: return "ISO-2022-JP";
    default: break;
  }
  if (codePage >= 28591 && codePage <= 28605) return "ISO-8859-" + std::to_string(codePage - 28590);
  return "CP" + std::to_string(codePage);
}

// Bytes skipped after an undecodable sequence, so that UTF-16 stays aligned to its code units.
std::size_t CodeUnitSize(unsigned codePage) {
  return codePage == kCodePageUtf16Le || codePage == 1201 ? 2 : 1;
}

enum class Direction : std::uint64_t { ToUtf8, FromUtf8 };

// One open iconv descriptor, or the memory that the code page could not be opened.
class Descriptor {
 public:
  Descriptor(const std::string& to, const std::string& from)
      : handle_(iconv_open(to.c_str(), from.c_str())) {}
  ~Descriptor() {
    if (IsOpen()) iconv_close(handle_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  bool IsOpen() const { return handle_ != reinterpret_cast<iconv_t>(kIconvFailed); }
  iconv_t Handle() const { return handle_; }

 private:
  iconv_t handle_;
};

// Opening a descriptor costs far more than a typical conversion, so each thread keeps its own
// (an iconv descriptor holds conversion state and must not be shared between threads).
// nullptr for a code page the C library cannot convert.
iconv_t OpenDescriptor(unsigned codePage, Direction direction) {
  thread_local std::unordered_map<std::uint64_t, Descriptor> cache;
  const std::uint64_t key = std::uint64_t{codePage} << 1 | static_cast<std::uint64_t>(direction);
  auto found = cache.find(key);
  if (found == cache.end()) {
    const std::string name = IconvName(codePage);
    found = direction == Direction::ToUtf8 ? cache.try_emplace(key, "UTF-8", name).first
                                            : cache.try_emplace(key, name, "UTF-8").first;
  }
  return found->second.IsOpen() ? found->second.Handle() : nullptr;
}

// A descriptor left mid-sequence or in a shifted state by the last call starts afresh. Done only
// before iconv runs: the reset costs more than the UTF-8 paths that never call iconv.
void Restart(iconv_t descriptor) { iconv(descriptor, nullptr, nullptr, nullptr, nullptr); }

// Runs iconv over *in, growing the output until everything fits; false when iconv stops at bytes
// it cannot convert. With in == nullptr it writes what returns a stateful encoding to its initial
// state.
bool Convert(iconv_t descriptor, std::string_view* in, std::string& output) {
  char* inBytes = in ? const_cast<char*>(in->data()) : nullptr;
  std::size_t inLeft = in ? in->size() : 0;
  while (true) {
    const std::size_t used = output.size();
    output.resize(used + inLeft * 4 + 16);
    char* outBytes = output.data() + used;
    std::size_t outLeft = output.size() - used;
    const std::size_t result =
        iconv(descriptor, in ? &inBytes : nullptr, in ? &inLeft : nullptr, &outBytes, &outLeft);
    const int error = errno;
    output.resize(output.size() - outLeft);
    if (in) in->remove_prefix(in->size() - inLeft);
    if (result != kIconvFailed) return true;
    if (error != E2BIG) return false;
  }
}

std::optional<std::string> ConvertExactly(iconv_t descriptor, std::string_view input) {
  Restart(descriptor);
  std::string output;
  if (!Convert(descriptor, &input, output) || !Convert(descriptor, nullptr, output)) {
    return std::nullopt;
  }
  return output;
}

// What a lead byte starts: the sequence's length (0: none) and the range of its second byte,
// after Unicode's table of well-formed byte sequences. A table, as text is checked byte by byte.
struct LeadByte {
  std::uint8_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
};

constexpr std::array<LeadByte, 256> kLeadBytes = [] {
  std::array<LeadByte, 256> table{};
  for (unsigned lead = 0x00; lead <= 0x7F; ++lead) table[lead].length = 1;
  for (unsigned lead = 0xC2; lead <= 0xDF; ++lead) table[lead].length = 2;
  for (unsigned lead = 0xE0; lead <= 0xEF; ++lead) table[lead].length = 3;
  for (unsigned lead = 0xF0; lead <= 0xF4; ++lead) table[lead].length = 4;
  table[0xE0].low = 0xA0;   // overlong
  table[0xED].high = 0x9F;  // surrogates
  table[0xF0].low = 0x90;   // overlong
  table[0xF4].high = 0x8F;  // above U+10FFFF
  return table;
}();

// Length of the longest well-formed prefix.
std::size_t WellFormedPrefix(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t at = 0;
  while (at < size) {
    const LeadByte& lead = kLeadBytes[bytes[at]];
    if (lead.length == 1) {
      // ASCII comes in runs: after one such byte, the next are taken eight at a time.
      ++at;
      std::uint64_t word = 0;
      while (size - at >= sizeof word) {
        std::memcpy(&word, bytes + at, sizeof word);
        if ((word & 0x8080808080808080) != 0) break;
        at += sizeof word;
      }
      continue;
    }
    if (lead.length == 0 || size - at < lead.length || bytes[at + 1] < lead.low || bytes[at + 1] > lead.high) break;
    if (lead.length >= 3 && (bytes[at + 2] & 0xC0) != 0x80) break;
    if (lead.length == 4 && (bytes[at + 3] & 0xC0) != 0x80) break;
    at += lead.length;
  }
  return at;
}

// Well-formed runs are copied whole, so only a malformed byte costs an append of its own.
std::string Utf8Lossy(std::string_view text) {
  std::string output;
  output.reserve(text.size());
  while (true) {
    const std::size_t run = WellFormedPrefix(text);
    output.append(text.substr(0, run));
    text.remove_prefix(run);
    if (text.empty()) return output;
    output += kReplacementCharacter;
    text.remove_prefix(1);
  }
}

bool IsAscii(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Code pages that read and write the ASCII range as ASCII, so plain ASCII needs no conversion
// (the common case, and a hot one when documents are listed). The others (UTF-16, UTF-32,
// EBCDIC, ISO-2022) go through iconv.
bool KeepsAscii(unsigned codePage) {
  switch (codePage) {
    case 874: case 932: case 936: case 949: case 950: case 10000: case 20127: case kCodePageUtf8:
      return true;
    default:
      return (codePage >= 1250 && codePage <= 1258) || (codePage >= 28591 && codePage <= 28599);
  }
}

}  // namespace

// glibc's UTF-8 decoder lets through sequences above U+10FFFF, so UTF-8 is checked here.
bool IsValidUtf8(std::string_view text) { return WellFormedPrefix(text) == text.size(); }

bool IsKnownCodePage(unsigned codePage) {
  return OpenDescriptor(codePage, Direction::ToUtf8) != nullptr;
}

std::optional<std::string> ToUtf8(std::string_view bytes, unsigned codePage) {
  const iconv_t descriptor = OpenDescriptor(codePage, Direction::ToUtf8);
  if (!descriptor) return std::nullopt;
  if (codePage == kCodePageUtf8) {
    return IsValidUtf8(bytes) ? std::optional<std::string>(bytes) : std::nullopt;
  }
  return ConvertExactly(descriptor, bytes);
}

std::string ToUtf8Lossy(std::string_view bytes, unsigned codePage) {
  if (IsAscii(bytes) && KeepsAscii(codePage)) return std::string(bytes);
  const iconv_t descriptor = OpenDescriptor(codePage, Direction::ToUtf8);
  if (!descriptor) return {};
  if (codePage == kCodePageUtf8) return Utf8Lossy(bytes);
  Restart(descriptor);
  std::string output;
  while (!Convert(descriptor, &bytes, output)) {
    output += kReplacementCharacter;
    bytes.remove_prefix(std::min(CodeUnitSize(codePage), bytes.size()));
  }
  Convert(descriptor, nullptr, output);
  return output;
}

std::optional<std::string> FromUtf8WithLookAlikes(std::string_view utf8, unsigned codePage) {
  if (IsAscii(utf8) && KeepsAscii(codePage)) return std::string(utf8);
  const iconv_t descriptor = OpenDescriptor(codePage, Direction::FromUtf8);
  if (!descriptor || !IsValidUtf8(utf8)) return std::nullopt;
  if (codePage == kCodePageUtf8) return std::string(utf8);
  return ConvertExactly(descriptor, utf8);
}

std::optional<std::string> FromUtf8(std::string_view utf8, unsigned codePage) {
  if (IsAscii(utf8) && KeepsAscii(codePage)) return std::string(utf8);
  std::optional<std::string> encoded = FromUtf8WithLookAlikes(utf8, codePage);
  // glibc quietly writes look-alikes for some characters (U+00A5 as a backslash in CP932) and
  // drops language tags; only bytes that read back as the same text are an exact conversion.
  if (!encoded || ToUtf8(*encoded, codePage) != utf8) return std::nullopt;
  return encoded;
}

}  // namespace kestrel::text
