#pragma once
// The in-memory side of an open compound file: the header, DIFAT, FAT, mini FAT and directory
// exactly as they are in the file, shared by the reading (CompoundFile.cpp) and writing
// (CompoundFileCommit.cpp) halves. A commit plans its changes as edits of these tables and
// applies them once the header switch has reached the file.
// Nothing here throws except std::bad_alloc.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/Outcome.h"
#include "platform/fs/FileIo.h"
#include "platform/storage/CfbDirectory.h"
#include "platform/storage/CfbFormat.h"
#include "platform/storage/CompoundFile.h"

namespace kestrel::storage {

// Where a stream's bytes are: a chain of sectors, or of mini sectors inside the mini stream.
struct StreamLayout {
  bool mini = false;
  std::vector<std::uint32_t> units;
  std::uint64_t size = 0;
};

// One contiguous write or read of the file: `size` bytes at file `offset`, taken from or put at
// index `at` of a buffer.
struct FilePiece {
  std::uint64_t offset;
  std::size_t at;
  std::size_t size;
};

struct CompoundFile::State {
  std::unique_ptr<fs::RandomAccessFile> file;
  bool writable = false;
  bool broken = false;  // a write failed; the file may no longer match this copy
  std::uint64_t fileSize = 0;
  // The file's first bytes (a small file whole), read in one go so that opening and reading
  // costs a read or two instead of one per sector. A commit's writes go into it as well, so
  // it stays the file's own bytes.
  std::unique_ptr<std::uint8_t[]> image;
  std::size_t imageSize = 0;

  std::array<std::uint8_t, cfb::kHeaderSize> header{};
  std::uint32_t shift = 9;
  bool version3 = true;

  std::vector<std::uint32_t> fatSectors;    // the DIFAT: FAT sector numbers in order
  std::vector<std::uint32_t> difatSectors;  // the DIFAT sector chain
  // The FAT sectors that describe sectors of the file; entries past its end mean nothing, and a
  // hostile header may count FAT sectors for far more sectors than the file holds.
  std::vector<std::uint32_t> fat;
  std::vector<std::uint32_t> miniFatSectors;
  std::vector<std::uint32_t> miniFat;  // as far as it describes the mini stream
  std::vector<std::uint32_t> dirSectors;
  cfb::Directory dir;
  std::vector<std::uint32_t> rootSectors;  // the mini stream's chain
  bool miniStreamUsable = false;
  std::vector<bool> reachable;  // entries linked into the tree under the root

  std::uint32_t SectorSize() const { return 1u << shift; }
  std::uint32_t EntriesPerSector() const { return SectorSize() / 4; }
  std::uint64_t SectorOffset(std::uint32_t sector) const { return (std::uint64_t{sector} + 1) << shift; }
  // Sectors present in the file, a partial last one included.
  std::uint64_t FileSectors() const;
  std::uint32_t HeaderField(std::size_t offset) const { return cfb::Get32(header.data() + offset); }
  void SetHeaderField(std::size_t offset, std::uint32_t value) { cfb::Put32(header.data() + offset, value); }
  // Mini sectors usable in the mini stream (covered by its size and by the mini FAT).
  std::uint64_t MiniSectorCount() const;

  // --- reading (CompoundFile.cpp) ---
  bool ImageHolds(std::uint64_t offset, std::size_t n) const { return offset <= imageSize && n <= imageSize - offset; }
  // Writes `n` bytes at `offset` to the file and to the part of the image they cover. A failure
  // of the file (here and below) is its own, in the system's words.
  Outcome WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t n);
  // `n` bytes at `offset`, from the image when it holds them.
  Outcome ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t n) const;
  // The same, appended to `out`: copied from the image, `out` is never zeroed first.
  Outcome AppendAt(std::uint64_t offset, std::size_t n, std::vector<std::uint8_t>& out) const;
  // `count` neighbouring sectors from `first` in one read; the part of a last sector beyond the
  // file's end reads as zeros. Damaged when `first` lies past the end.
  Outcome ReadRun(std::uint32_t first, std::size_t count, std::uint8_t* out) const;
  Outcome ReadSector(std::uint32_t sector, std::uint8_t* out) const { return ReadRun(sector, 1, out); }
  // The sectors in order, one read per run of neighbours.
  Outcome ReadSectors(std::span<const std::uint32_t> sectors, std::uint8_t* out) const;
  // Sector table entries from `sectors` into `table` from entry `at` on.
  Outcome ReadTableSectors(std::span<const std::uint32_t> sectors, std::vector<std::uint32_t>& table, std::size_t at) const;
  // Reads the tables; the failure is Open's.
  Outcome Load();
  // Write mode's precondition; a Damaged failure saying what does not hold together.
  Outcome CheckWholeStructure() const;
  // Every unit of the chain from `start` (mini units or sectors) up to its end mark; nullopt
  // when it leaves the table or loops.
  std::optional<std::vector<std::uint32_t>> WholeChain(bool mini, std::uint32_t start) const;
  // The bytes of a stream laid out as `layout`.
  Result<std::vector<std::uint8_t>> ReadLayout(const StreamLayout& layout) const;
  bool IsStreamEntry(EntryId id) const;
  // The units holding the stream's whole size; nullopt on damage.
  std::optional<StreamLayout> Layout(EntryId stream) const;
  std::uint64_t UnitOffset(bool mini, std::uint32_t unit) const;
  // The file pieces holding bytes [offset, offset + count) of the stream, buffer index 0 being
  // stream byte `offset`.
  std::vector<FilePiece> Pieces(const StreamLayout& layout, std::uint64_t offset, std::uint64_t count) const;

  // --- the transaction (CompoundFileCommit.cpp) ---
  class CommitPlan;
  Outcome Commit(const StreamEdits& edits);
};

}  // namespace kestrel::storage
