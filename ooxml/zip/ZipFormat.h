// The record layouts of the ZIP format that the package reader and writer share, with the
// little-endian loads and stores they use. Nothing here throws except std::bad_alloc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/LittleEndian.h"

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

using le::Append16;
using le::Append32;
using le::Append64;
using le::Get16;
using le::Get32;
using le::Get64;
using le::Put16;
using le::Put32;
using le::Put64;

inline void PutBytes(std::vector<std::uint8_t>& out, const void* data, std::size_t n) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  out.insert(out.end(), bytes, bytes + n);
}

}  // namespace kestrel::zip::format
