#pragma once
// A GUID as property sets and compound files store it (16 bytes, first three fields little-endian).
// Nothing here throws except std::bad_alloc.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kestrel::storage {

struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::array<std::uint8_t, 8> data4{};

  friend bool operator==(const Guid&, const Guid&) = default;

  // From the 16 stored bytes.
  static Guid FromBytes(std::span<const std::uint8_t, 16> bytes);
  std::array<std::uint8_t, 16> ToBytes() const;

  // Registry form, upper case: {0000013A-0000-0000-C000-000000000046}.
  std::string ToString() const;
  // Accepts the registry form with or without braces, any case.
  static std::optional<Guid> Parse(std::string_view text);
};

inline constexpr Guid kFmtidSummaryInformation{0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9}};
inline constexpr Guid kFmtidDocSummaryInformation{0xD5CDD502, 0x2E9C, 0x101B, {0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE}};
inline constexpr Guid kFmtidUserDefinedProperties{0xD5CDD505, 0x2E9C, 0x101B, {0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE}};
inline constexpr Guid kFmtidMediaFileSummaryInformation{0x64440492, 0x4C8B, 0x11D1, {0x8B, 0x70, 0x08, 0x00, 0x36, 0xB1, 0x1A, 0x03}};

}  // namespace kestrel::storage
