// The record layouts of the ZIP format that the package reader and writer share, and the one home
// of their little-endian loads and stores. Nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrel::zip::format {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kDescriptorSignature = 0x08074b50;

constexpr std::uint64_t kLocalSize = 30;
constexpr std::uint64_t kCentralSize = 46;
constexpr std::uint64_t kEndSize = 22;
constexpr std::uint64_t kZip64EndSize = 56;  // up to the extensible data
constexpr std::uint64_t kZip64LocatorSize = 20;
constexpr std::uint64_t kMaxComment = 65535;

constexpr std::uint16_t kDataDescriptorFlag = 0x0008;
constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;

// A 16- or 32-bit field holding its maximum says "the value is in the ZIP64 record or field".
constexpr std::uint16_t kMarker16 = 0xffff;
constexpr std::uint32_t kMarker32 = 0xffffffff;

// Offsets inside a central-directory record.
constexpr std::size_t kCentralCrc = 16;
constexpr std::size_t kCentralCompressedSize = 20;
constexpr std::size_t kCentralUncompressedSize = 24;
constexpr std::size_t kCentralDiskStart = 34;
constexpr std::size_t kCentralLocalOffset = 42;

// True when [offset, offset + length) lies within [0, limit); written so it cannot overflow.
inline bool FitsIn(std::uint64_t offset, std::uint64_t length, std::uint64_t limit) {
  return offset <= limit && length <= limit - offset;
}

inline std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t Get64(const std::uint8_t* p) { return Get32(p) | (std::uint64_t{Get32(p + 4)} << 32); }

inline void Set16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Set32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void Set64(std::uint8_t* p, std::uint64_t v) {
  Set32(p, static_cast<std::uint32_t>(v));
  Set32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

inline void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.resize(out.size() + 2);
  Set16(out.data() + out.size() - 2, v);
}
inline void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.resize(out.size() + 4);
  Set32(out.data() + out.size() - 4, v);
}
inline void Put64(std::vector<std::uint8_t>& out, std::uint64_t v) {
  out.resize(out.size() + 8);
  Set64(out.data() + out.size() - 8, v);
}
inline void PutBytes(std::vector<std::uint8_t>& out, const void* data, std::size_t n) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  out.insert(out.end(), bytes, bytes + n);
}

}  // namespace kestrel::zip::format
