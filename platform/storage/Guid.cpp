#include "platform/storage/Guid.h"

#include <cstdio>

#include "platform/LittleEndian.h"

namespace kestrel::storage {

namespace {

std::optional<unsigned> HexDigit(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
  return std::nullopt;
}

// `digits` hex digits from the front of `text`, which must hold them.
std::optional<std::uint64_t> TakeHex(std::string_view& text, std::size_t digits) {
  if (text.size() < digits) return std::nullopt;
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    std::optional<unsigned> digit = HexDigit(text[i]);
    if (!digit) return std::nullopt;
    value = (value << 4) | *digit;
  }
  text.remove_prefix(digits);
  return value;
}

bool TakeChar(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

}  // namespace

Guid Guid::FromBytes(std::span<const std::uint8_t, 16> bytes) {
  Guid guid;
  guid.data1 = le::Get32(&bytes[0]);
  guid.data2 = le::Get16(&bytes[4]);
  guid.data3 = le::Get16(&bytes[6]);
  for (std::size_t i = 0; i < 8; ++i) guid.data4[i] = bytes[8 + i];
  return guid;
}

std::array<std::uint8_t, 16> Guid::ToBytes() const {
  std::array<std::uint8_t, 16> bytes{};
  le::Put32(&bytes[0], data1);
  le::Put16(&bytes[4], data2);
  le::Put16(&bytes[6], data3);
  for (std::size_t i = 0; i < 8; ++i) bytes[8 + i] = data4[i];
  return bytes;
}

std::string Guid::ToString() const {
  char text[39];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1, data2, data3,
                data4[0], data4[1], data4[2], data4[3], data4[4], data4[5], data4[6], data4[7]);
  return text;
}

std::optional<Guid> Guid::Parse(std::string_view text) {
  const bool braced = TakeChar(text, '{');
  Guid guid;
  std::optional<std::uint64_t> data1 = TakeHex(text, 8);
  if (!data1 || !TakeChar(text, '-')) return std::nullopt;
  std::optional<std::uint64_t> data2 = TakeHex(text, 4);
  if (!data2 || !TakeChar(text, '-')) return std::nullopt;
  std::optional<std::uint64_t> data3 = TakeHex(text, 4);
  if (!data3 || !TakeChar(text, '-')) return std::nullopt;
  guid.data1 = static_cast<std::uint32_t>(*data1);
  guid.data2 = static_cast<std::uint16_t>(*data2);
  guid.data3 = static_cast<std::uint16_t>(*data3);
  for (std::size_t i = 0; i < 8; ++i) {
    if (i == 2 && !TakeChar(text, '-')) return std::nullopt;
    std::optional<std::uint64_t> byte = TakeHex(text, 2);
    if (!byte) return std::nullopt;
    guid.data4[i] = static_cast<std::uint8_t>(*byte);
  }
  if (braced && !TakeChar(text, '}')) return std::nullopt;
  if (!text.empty()) return std::nullopt;
  return guid;
}

}  // namespace kestrel::storage
