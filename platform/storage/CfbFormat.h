#pragma once
// Layout constants of the compound-file format and the little-endian field access used by the
// reader and writer. Every check of an untrusted number lives here, named, so they can be audited
// together.
// Nothing here throws.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/LittleEndian.h"

namespace kestrel::storage::cfb {

inline constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
inline constexpr std::size_t kHeaderSize = 512;
inline constexpr std::size_t kHeaderDifatEntries = 109;
inline constexpr std::size_t kDirEntrySize = 128;
inline constexpr std::uint32_t kMiniSectorShift = 6;
inline constexpr std::uint32_t kMiniSectorSize = 1u << kMiniSectorShift;
inline constexpr std::uint32_t kMiniStreamCutoff = 4096;
inline constexpr std::size_t kMaxNameUnits = 31;  // plus the terminating NUL

// Sector numbers with a meaning of their own.
inline constexpr std::uint32_t kMaxRegSect = 0xFFFFFFFA;
inline constexpr std::uint32_t kDifSect = 0xFFFFFFFC;
inline constexpr std::uint32_t kFatSect = 0xFFFFFFFD;
inline constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr std::uint32_t kFreeSect = 0xFFFFFFFF;
inline constexpr std::uint32_t kNoStream = 0xFFFFFFFF;

// Header field offsets.
inline constexpr std::size_t kHdrMajorVersion = 0x1A;
inline constexpr std::size_t kHdrByteOrder = 0x1C;
inline constexpr std::size_t kHdrSectorShift = 0x1E;
inline constexpr std::size_t kHdrMiniSectorShift = 0x20;
inline constexpr std::size_t kHdrDirSectorCount = 0x28;
inline constexpr std::size_t kHdrFatSectorCount = 0x2C;
inline constexpr std::size_t kHdrFirstDirSector = 0x30;
inline constexpr std::size_t kHdrMiniStreamCutoff = 0x38;
inline constexpr std::size_t kHdrFirstMiniFatSector = 0x3C;
inline constexpr std::size_t kHdrMiniFatSectorCount = 0x40;
inline constexpr std::size_t kHdrFirstDifatSector = 0x44;
inline constexpr std::size_t kHdrDifatSectorCount = 0x48;
inline constexpr std::size_t kHdrDifat = 0x4C;

// Directory entry field offsets.
inline constexpr std::size_t kDirName = 0x00;
inline constexpr std::size_t kDirNameLength = 0x40;
inline constexpr std::size_t kDirType = 0x42;
inline constexpr std::size_t kDirColor = 0x43;
inline constexpr std::size_t kDirLeft = 0x44;
inline constexpr std::size_t kDirRight = 0x48;
inline constexpr std::size_t kDirChild = 0x4C;
inline constexpr std::size_t kDirStart = 0x74;
inline constexpr std::size_t kDirSize = 0x78;

inline constexpr std::uint8_t kTypeUnused = 0;
inline constexpr std::uint8_t kTypeStorage = 1;
inline constexpr std::uint8_t kTypeStream = 2;
inline constexpr std::uint8_t kTypeRoot = 5;
inline constexpr std::uint8_t kRed = 0;
inline constexpr std::uint8_t kBlack = 1;

using le::Get16;
using le::Get32;
using le::Get64;
using le::Put16;
using le::Put32;
using le::Put64;

// The most directory entries a file may have to be read: 8 MiB of directory. Of the 73
// compound files of the test data and corpora, the most has 40 (a Word document with embedded
// objects, each a storage of a few entries); a thousand times that still fits.
inline constexpr std::uint64_t kMaxDirectoryEntries = 65536;

// --- The checks on numbers read from the file. ---

// A sector number that names a sector present in a table or file of `count` sectors.
inline bool SectorInRange(std::uint32_t sector, std::uint64_t count) {
  return sector <= kMaxRegSect && sector < count;
}

// A directory entry id inside a directory of `count` entries.
inline bool EntryInRange(std::uint32_t id, std::uint64_t count) { return id < count; }

// The stored name length (bytes, NUL included) fits the 64-byte field and is whole code units.
inline bool NameLengthValid(std::uint16_t bytes) { return bytes <= 64 && bytes % 2 == 0; }

// `size` bytes fit in `units` allocation units of 1 << shift bytes.
inline bool SizeFitsChain(std::uint64_t size, std::uint64_t units, std::uint32_t shift) {
  return size <= (units << shift);
}

// Allocation units needed for `size` bytes, 1 << shift each.
inline std::uint64_t UnitsFor(std::uint64_t size, std::uint32_t shift) {
  const std::uint64_t mask = (std::uint64_t{1} << shift) - 1;
  return (size >> shift) + ((size & mask) != 0 ? 1 : 0);  // no overflow near 2^64
}

}  // namespace kestrel::storage::cfb
