#include "platform/storage/CompoundFile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <string>
#include <utility>

#include "platform/storage/CompoundFileState.h"

namespace kestrel::storage {

using namespace cfb;

namespace {

Outcome Damaged(std::string what) {
  return Outcome::Failure(FailureKind::Damaged, "damaged compound file: " + std::move(what));
}

// Files up to this size are read whole when opened: one read of a small file costs less than
// the reads of its header, tables and streams one by one. Of a larger file the image is the
// first bytes, where writers tend to put the first FAT sector and the mini FAT.
constexpr std::uint64_t kImageLimit = 64 * 1024;
constexpr std::uint64_t kLargeFileImage = 4 * 1024;

constexpr std::uint64_t kWholeChain = UINT64_MAX;

// The units of a table a walk has visited: on the stack for the tables of files up to a few
// megabytes, on the heap beyond.
class UnitMarks {
 public:
  explicit UnitMarks(std::uint64_t count) {
    const auto words = static_cast<std::size_t>((count + 63) / 64);
    if (words > inline_.size()) {
      heap_.assign(words, 0);
      words_ = heap_.data();
    } else {
      std::fill_n(inline_.begin(), words, 0);
      words_ = inline_.data();
    }
  }
  UnitMarks(const UnitMarks&) = delete;
  UnitMarks& operator=(const UnitMarks&) = delete;

  // False when `unit` (below the count) was marked before.
  bool Mark(std::uint32_t unit) {
    std::uint64_t& word = words_[unit / 64];
    const std::uint64_t bit = std::uint64_t{1} << (unit % 64);
    if ((word & bit) != 0) return false;
    word |= bit;
    return true;
  }

 private:
  std::array<std::uint64_t, 64> inline_;
  std::vector<std::uint64_t> heap_;
  std::uint64_t* words_;
};

// A chain followed through `table`. `complete` is false when it left the table, looped, or
// (with a stop count) ended before reaching it.
struct ChainWalk {
  std::vector<std::uint32_t> units;
  bool complete = false;
};

// Follows `start` until the end-of-chain mark or until `stopAfter` units were collected. Every
// link must name a unit below `limit` (and inside the table) that was not visited before.
ChainWalk WalkChain(const std::vector<std::uint32_t>& table, std::uint64_t limit, std::uint32_t start,
                    std::uint64_t stopAfter) {
  ChainWalk walk;
  limit = std::min<std::uint64_t>(limit, table.size());
  // Never more room than the table has entries, so a hostile length cannot make this large.
  walk.units.reserve(static_cast<std::size_t>(std::min(stopAfter, limit)));
  UnitMarks seen(limit);
  std::uint32_t unit = start;
  while (walk.units.size() < stopAfter && SectorInRange(unit, limit) && seen.Mark(unit)) {
    walk.units.push_back(unit);
    unit = table[unit];
  }
  walk.complete = walk.units.size() == stopAfter || (unit == kEndOfChain && stopAfter == kWholeChain);
  return walk;
}

}  // namespace

std::uint64_t CompoundFile::State::FileSectors() const {
  if (fileSize <= SectorSize()) return 0;
  return UnitsFor(fileSize - SectorSize(), shift);
}

std::uint64_t CompoundFile::State::MiniSectorCount() const {
  if (!miniStreamUsable) return 0;
  return std::min<std::uint64_t>(UnitsFor(dir.Size(kRootEntry, version3), kMiniSectorShift), miniFat.size());
}

Outcome CompoundFile::State::ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t n) const {
  if (ImageHolds(offset, n)) {
    std::copy_n(image.get() + offset, n, out);
    return Outcome::Success();
  }
  return file->ReadAt(offset, out, n);
}

Outcome CompoundFile::State::WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t n) {
  if (Outcome written = file->WriteAt(offset, data, n); !written) {
    imageSize = 0;  // part of it may have reached the file
    return written;
  }
  if (offset < imageSize) std::copy_n(data, std::min<std::uint64_t>(n, imageSize - offset), image.get() + offset);
  return Outcome::Success();
}

Outcome CompoundFile::State::AppendAt(std::uint64_t offset, std::size_t n, std::vector<std::uint8_t>& out) const {
  if (ImageHolds(offset, n)) {
    out.insert(out.end(), image.get() + offset, image.get() + offset + n);
    return Outcome::Success();
  }
  const std::size_t at = out.size();
  out.resize(at + n);
  return ReadAt(offset, out.data() + at, n);
}

Outcome CompoundFile::State::ReadRun(std::uint32_t first, std::size_t count, std::uint8_t* out) const {
  const std::uint64_t offset = SectorOffset(first);
  if (offset >= fileSize) return Damaged("sector " + std::to_string(first) + " lies past the end of the file");
  const std::uint64_t bytes = std::uint64_t{count} << shift;
  const auto present = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, fileSize - offset));
  std::memset(out + present, 0, bytes - present);
  return ReadAt(offset, out, present);
}

Outcome CompoundFile::State::ReadSectors(std::span<const std::uint32_t> sectors, std::uint8_t* out) const {
  const std::uint64_t fileSectors = FileSectors();
  for (std::size_t i = 0; i < sectors.size();) {
    std::size_t count = 1;
    while (i + count < sectors.size() && SectorInRange(sectors[i + count], fileSectors) &&
           sectors[i + count] == sectors[i] + count) {
      ++count;
    }
    if (Outcome read = ReadRun(sectors[i], count, out + (i << shift)); !read) return read;
    i += count;
  }
  return Outcome::Success();
}

Outcome CompoundFile::State::ReadTableSectors(std::span<const std::uint32_t> sectors, std::vector<std::uint32_t>& table,
                                              std::size_t at) const {
  std::uint32_t* entries = table.data() + at;
  const std::size_t count = sectors.size() * EntriesPerSector();
  // Read into the table's own storage, then decoded in place from the file's byte order.
  auto* bytes = reinterpret_cast<std::uint8_t*>(entries);
  Outcome read = ReadSectors(sectors, bytes);
  if (!read) {
    std::fill_n(entries, count, kFreeSect);
    return read;
  }
  for (std::size_t i = 0; i < count; ++i) entries[i] = Get32(bytes + 4 * i);
  return read;
}

// Reads the header, DIFAT, FAT, directory and mini FAT. Read mode keeps whatever part of a
// damaged table it can (unknown FAT entries read as free, so chains through them fail); write
// mode then asks CheckWholeStructure for all of it.
Outcome CompoundFile::State::Load() {
  const Outcome notCompoundFile =
      Outcome::Failure(FailureKind::NotADocument, "not a compound file, so not a binary Office document");
  fileSize = file->Size();
  if (fileSize < kHeaderSize) return notCompoundFile;
  const auto wanted = static_cast<std::size_t>(fileSize <= kImageLimit ? fileSize : kLargeFileImage);
  // Not zeroed: the read fills it, and imageSize stays 0 when it does not.
  image = std::make_unique_for_overwrite<std::uint8_t[]>(wanted);
  if (file->ReadAt(0, image.get(), wanted)) imageSize = wanted;
  if (Outcome read = ReadAt(0, header.data(), header.size()); !read) return read;
  if (std::memcmp(header.data(), kSignature, sizeof kSignature) != 0) return notCompoundFile;
  const std::uint16_t major = Get16(header.data() + kHdrMajorVersion);
  const std::uint16_t sectorShift = Get16(header.data() + kHdrSectorShift);
  const bool headerValid = ((major == 3 && sectorShift == 9) || (major == 4 && sectorShift == 12)) &&
                           Get16(header.data() + kHdrByteOrder) == 0xFFFE &&
                           Get16(header.data() + kHdrMiniSectorShift) == kMiniSectorShift &&
                           HeaderField(kHdrMiniStreamCutoff) == kMiniStreamCutoff;
  if (!headerValid) return Damaged("the header's version, byte order or sector sizes are not those of a compound file");
  version3 = major == 3;
  shift = sectorShift;

  // DIFAT: up to 109 FAT sectors in the header, the rest in a chain of DIFAT sectors whose last
  // entry links to the next. A FAT cannot have more sectors than the file.
  const std::uint64_t fileSectors = FileSectors();
  const std::uint64_t fatCount = std::min<std::uint64_t>(HeaderField(kHdrFatSectorCount), fileSectors);
  fatSectors.reserve(static_cast<std::size_t>(fatCount));
  for (std::size_t i = 0; i < std::min<std::uint64_t>(fatCount, kHeaderDifatEntries); ++i) {
    fatSectors.push_back(Get32(header.data() + kHdrDifat + 4 * i));
  }
  std::vector<std::uint8_t> sector(fatSectors.size() < fatCount ? SectorSize() : 0);
  UnitMarks seenDifat(fatSectors.size() < fatCount ? fileSectors : 0);
  std::uint32_t next = HeaderField(kHdrFirstDifatSector);
  while (fatSectors.size() < fatCount) {
    if (!SectorInRange(next, fileSectors) || !seenDifat.Mark(next) || !ReadSector(next, sector.data())) break;
    difatSectors.push_back(next);
    for (std::uint32_t i = 0; i + 1 < EntriesPerSector() && fatSectors.size() < fatCount; ++i) {
      fatSectors.push_back(Get32(sector.data() + 4 * i));
    }
    next = Get32(sector.data() + SectorSize() - 4);
  }

  // The FAT sectors that describe sectors of the file: entries past its end mean nothing, however
  // many FAT sectors the header counts. Each stretch of them inside the file is read at once; the
  // entries of one outside it, or of a stretch that fails to read, stay free.
  const auto fatRead = static_cast<std::size_t>(std::min<std::uint64_t>(fatSectors.size(), UnitsFor(fileSectors, shift - 2)));
  fat.assign(fatRead * EntriesPerSector(), kFreeSect);
  for (std::size_t k = 0; k < fatRead;) {
    std::size_t end = k;
    while (end < fatRead && SectorInRange(fatSectors[end], fileSectors)) ++end;
    (void)ReadTableSectors(std::span(fatSectors).subspan(k, end - k), fat, k * EntriesPerSector());
    k = end + 1;  // past the sector outside the file
  }

  // Directory: whatever prefix of its chain holds together; it must at least hold the root. One
  // larger than any document's is refused before it is read.
  const std::uint64_t dirSectorsAllowed = (kMaxDirectoryEntries * kDirEntrySize) >> shift;
  ChainWalk dirWalk = WalkChain(fat, fileSectors, HeaderField(kHdrFirstDirSector), dirSectorsAllowed + 1);
  if (dirWalk.units.size() > dirSectorsAllowed) {
    return Outcome::Failure(FailureKind::Unsupported, "the directory has more than " + std::to_string(kMaxDirectoryEntries) +
                                                          " entries, far more than any document has");
  }
  dirSectors = std::move(dirWalk.units);
  std::vector<std::uint8_t> dirBytes(dirSectors.size() * SectorSize());
  if (Outcome read = ReadSectors(dirSectors, dirBytes.data()); !read) return read;
  dir = Directory(std::move(dirBytes));
  if (!dir.Contains(kRootEntry) || dir.Type(kRootEntry) != kTypeRoot) return Damaged("the directory has no root entry");

  // The mini stream is the root entry's chain; its size must fit the chain.
  ChainWalk rootWalk = WalkChain(fat, fileSectors, dir.Start(kRootEntry), kWholeChain);
  rootSectors = std::move(rootWalk.units);
  miniStreamUsable = rootWalk.complete && SizeFitsChain(dir.Size(kRootEntry, version3), rootSectors.size(), shift);

  // Mini FAT: the first `count` sectors of its chain, read as far as they describe the mini
  // stream; entries past its end mean nothing.
  const std::uint32_t miniFatCount = HeaderField(kHdrMiniFatSectorCount);
  if (miniFatCount > 0) {
    ChainWalk walk = WalkChain(fat, fileSectors, HeaderField(kHdrFirstMiniFatSector), miniFatCount);
    miniFatSectors = std::move(walk.units);
  }
  const std::uint64_t miniUnits = miniStreamUsable ? UnitsFor(dir.Size(kRootEntry, version3), kMiniSectorShift) : 0;
  const auto miniFatRead = static_cast<std::size_t>(std::min<std::uint64_t>(miniFatSectors.size(), UnitsFor(miniUnits, shift - 2)));
  miniFat.assign(miniFatRead * EntriesPerSector(), kFreeSect);
  if (Outcome read = ReadTableSectors(std::span(miniFatSectors).first(miniFatRead), miniFat, 0); !read) return read;

  // Entries reachable from the root, each once; cycles and bad ids end a branch.
  reachable.assign(dir.Count(), false);
  reachable[kRootEntry] = true;
  std::vector<std::uint32_t> pending;
  pending.reserve(2 * std::size_t{dir.Count()} + 1);  // room for a whole tree's links, most often
  pending.push_back(dir.Child(kRootEntry));
  while (!pending.empty()) {
    std::uint32_t id = pending.back();
    pending.pop_back();
    if (!dir.Contains(id) || reachable[id]) continue;
    reachable[id] = true;
    pending.push_back(dir.Left(id));
    pending.push_back(dir.Right(id));
    if (dir.Type(id) == kTypeStorage) pending.push_back(dir.Child(id));
  }
  return Outcome::Success();
}

// Write mode's precondition: every table and chain is whole and in the file, and no sector or
// mini sector belongs to two owners. Only then are free sectors really free, and only then may a
// commit put new sectors there.
Outcome CompoundFile::State::CheckWholeStructure() const {
  auto counted = [](const char* table, std::uint32_t inHeader, std::size_t found) {
    return std::string("the header counts ") + std::to_string(inHeader) + " " + table + " sectors, the file holds " +
           std::to_string(found);
  };
  const std::uint64_t fileSectors = FileSectors();
  if (fatSectors.size() != HeaderField(kHdrFatSectorCount)) {
    return Damaged(counted("FAT", HeaderField(kHdrFatSectorCount), fatSectors.size()));
  }
  if (difatSectors.size() != HeaderField(kHdrDifatSectorCount)) {
    return Damaged(counted("DIFAT", HeaderField(kHdrDifatSectorCount), difatSectors.size()));
  }
  if (!difatSectors.empty()) {
    std::vector<std::uint8_t> last(SectorSize());
    if (!ReadSector(difatSectors.back(), last.data())) return Damaged("the last DIFAT sector cannot be read");
    const std::uint32_t end = Get32(last.data() + SectorSize() - 4);
    if (end != kEndOfChain && end != kFreeSect) return Damaged("the DIFAT chain goes on past its counted sectors");
  }
  if (miniFatSectors.size() != HeaderField(kHdrMiniFatSectorCount)) {
    return Damaged(counted("mini FAT", HeaderField(kHdrMiniFatSectorCount), miniFatSectors.size()));
  }

  std::vector<bool> used(fileSectors, false);
  // Empty when `sector` is whole in the file and not claimed before, else what is wrong with it.
  auto claim = [&](std::uint32_t sector) -> std::string {
    if (!SectorInRange(sector, fileSectors) || SectorOffset(sector) + SectorSize() > fileSize) {
      return "runs past the end of the file";
    }
    if (used[sector]) return "shares sector " + std::to_string(sector) + " with another chain";
    used[sector] = true;
    return {};
  };
  // Chain members: their own FAT entry must say "in a chain" too, or a commit would take them
  // for free (the mini FAT's last counted sector is never followed, so this is checked here).
  auto claimAll = [&](const std::vector<std::uint32_t>& sectors) -> std::string {
    for (std::uint32_t sector : sectors) {
      std::string problem = claim(sector);
      if (!problem.empty()) return problem;
      if (sector >= fat.size() || (fat[sector] > kMaxRegSect && fat[sector] != kEndOfChain)) {
        return "holds sector " + std::to_string(sector) + ", which the FAT does not mark as used";
      }
    }
    return {};
  };
  // Why a walk stopped short of an end mark.
  auto brokenChain = [](const std::vector<std::uint32_t>& table, std::uint64_t limit, std::uint32_t start,
                        const ChainWalk& walk) -> std::string {
    const std::uint32_t next = walk.units.empty() ? start : table[walk.units.back()];
    if (SectorInRange(next, std::min<std::uint64_t>(limit, table.size()))) return "loops";
    if (next == kFreeSect) return "runs into a free sector";
    return "points outside the file";
  };
  for (std::uint32_t sector : fatSectors) {
    std::string problem = claim(sector);
    if (!problem.empty()) return Damaged("a FAT sector " + problem);
    if (sector >= fat.size() || fat[sector] != kFatSect) {
      return Damaged("FAT sector " + std::to_string(sector) + " is not marked as one in the FAT");
    }
  }
  for (std::uint32_t sector : difatSectors) {
    std::string problem = claim(sector);
    if (!problem.empty()) return Damaged("a DIFAT sector " + problem);
    if (sector >= fat.size() || fat[sector] != kDifSect) {
      return Damaged("DIFAT sector " + std::to_string(sector) + " is not marked as one in the FAT");
    }
  }
  ChainWalk dirWalk = WalkChain(fat, fileSectors, HeaderField(kHdrFirstDirSector), kWholeChain);
  if (!dirWalk.complete) {
    return Damaged("the directory chain " + brokenChain(fat, fileSectors, HeaderField(kHdrFirstDirSector), dirWalk));
  }
  for (auto [chain, name] : {std::pair{&dirSectors, "the directory chain"}, std::pair{&miniFatSectors, "the mini FAT chain"}}) {
    std::string problem = claimAll(*chain);
    if (!problem.empty()) return Damaged(std::string(name) + " " + problem);
  }
  if (!miniStreamUsable) return Damaged("the mini stream is larger than its chain, or its chain is broken");
  if (std::string problem = claimAll(rootSectors); !problem.empty()) return Damaged("the mini stream's chain " + problem);

  std::vector<bool> miniUsed(MiniSectorCount(), false);
  std::vector<bool> linked(dir.Count(), false);
  std::vector<std::uint32_t> pending{dir.Child(kRootEntry)};
  while (!pending.empty()) {
    const std::uint32_t id = pending.back();
    pending.pop_back();
    if (id == kNoStream) continue;
    if (!EntryInRange(id, dir.Count())) return Damaged("the directory links to entry " + std::to_string(id) + ", past its end");
    if (id == kRootEntry || linked[id]) return Damaged("the directory tree reaches entry " + std::to_string(id) + " twice");
    linked[id] = true;
    const std::string entry = "entry " + std::to_string(id);
    if (!dir.Name(id)) return Damaged(entry + " has an impossible name length");
    pending.push_back(dir.Left(id));
    pending.push_back(dir.Right(id));
    if (dir.Type(id) == kTypeStorage) {
      pending.push_back(dir.Child(id));
      continue;
    }
    if (dir.Type(id) != kTypeStream) return Damaged(entry + " in the tree is neither a stream nor a storage");
    const std::uint64_t size = dir.Size(id, version3);
    if (size == 0) continue;
    const bool mini = size < kMiniStreamCutoff;
    const std::vector<std::uint32_t>& table = mini ? miniFat : fat;
    const std::uint64_t limit = mini ? MiniSectorCount() : fileSectors;
    ChainWalk walk = WalkChain(table, limit, dir.Start(id), kWholeChain);
    const std::string chain = std::string(mini ? "the mini FAT chain of " : "the FAT chain of ") + entry;
    if (!walk.complete) return Damaged(chain + " " + brokenChain(table, limit, dir.Start(id), walk));
    if (!SizeFitsChain(size, walk.units.size(), mini ? kMiniSectorShift : shift)) {
      return Damaged(entry + " is larger than its chain");
    }
    if (!mini) {
      if (std::string problem = claimAll(walk.units); !problem.empty()) return Damaged(chain + " " + problem);
      continue;
    }
    for (std::uint32_t unit : walk.units) {
      if (miniUsed[unit]) return Damaged(chain + " shares mini sector " + std::to_string(unit) + " with another stream");
      miniUsed[unit] = true;
    }
  }
  return Outcome::Success();
}

std::optional<std::vector<std::uint32_t>> CompoundFile::State::WholeChain(bool mini, std::uint32_t start) const {
  ChainWalk walk = mini ? WalkChain(miniFat, MiniSectorCount(), start, kWholeChain)
                        : WalkChain(fat, FileSectors(), start, kWholeChain);
  if (!walk.complete) return std::nullopt;
  return std::move(walk.units);
}

Result<std::vector<std::uint8_t>> CompoundFile::State::ReadLayout(const StreamLayout& layout) const {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(layout.size));
  for (const FilePiece& piece : Pieces(layout, 0, layout.size)) {
    if (Outcome read = AppendAt(piece.offset, piece.size, bytes); !read) return read;  // pieces come in order
  }
  return bytes;
}

bool CompoundFile::State::IsStreamEntry(EntryId id) const {
  return dir.Contains(id) && reachable[id] && dir.Type(id) == kTypeStream;
}

std::optional<StreamLayout> CompoundFile::State::Layout(EntryId stream) const {
  if (!IsStreamEntry(stream)) return std::nullopt;
  StreamLayout layout;
  layout.size = dir.Size(stream, version3);
  if (layout.size == 0) return layout;
  layout.mini = layout.size < kMiniStreamCutoff;
  const std::uint64_t needed = UnitsFor(layout.size, layout.mini ? kMiniSectorShift : shift);
  // A size larger than the file could hold is damage, found before anything is allocated.
  if (!layout.mini && needed > FileSectors()) return std::nullopt;
  ChainWalk walk = layout.mini ? WalkChain(miniFat, MiniSectorCount(), dir.Start(stream), needed)
                               : WalkChain(fat, FileSectors(), dir.Start(stream), needed);
  if (!walk.complete) return std::nullopt;
  layout.units = std::move(walk.units);
  return layout;
}

std::uint64_t CompoundFile::State::UnitOffset(bool mini, std::uint32_t unit) const {
  if (!mini) return SectorOffset(unit);
  const std::uint64_t inMiniStream = std::uint64_t{unit} << kMiniSectorShift;
  return SectorOffset(rootSectors[inMiniStream >> shift]) + (inMiniStream & (SectorSize() - 1));
}

std::vector<FilePiece> CompoundFile::State::Pieces(const StreamLayout& layout, std::uint64_t offset,
                                                   std::uint64_t count) const {
  const std::uint32_t unitShift = layout.mini ? kMiniSectorShift : shift;
  const std::uint64_t unitSize = std::uint64_t{1} << unitShift;
  std::vector<FilePiece> pieces;
  const std::uint64_t end = offset + count;
  if (count > 0) pieces.reserve(static_cast<std::size_t>(((end - 1) >> unitShift) - (offset >> unitShift) + 1));
  for (std::uint64_t at = offset; at < end;) {
    const std::uint64_t inUnit = at & (unitSize - 1);
    const std::size_t n = static_cast<std::size_t>(std::min(unitSize - inUnit, end - at));
    const std::uint64_t fileOffset = UnitOffset(layout.mini, layout.units[at >> unitShift]) + inUnit;
    const std::size_t index = static_cast<std::size_t>(at - offset);
    if (!pieces.empty() && pieces.back().offset + pieces.back().size == fileOffset) {
      pieces.back().size += n;
    } else {
      pieces.push_back({fileOffset, index, n});
    }
    at += n;
  }
  return pieces;
}

CompoundFile::CompoundFile(std::unique_ptr<State> state) : state_(std::move(state)) {}
CompoundFile::~CompoundFile() = default;

Result<std::unique_ptr<CompoundFile>> CompoundFile::Open(const std::string& path, fs::OpenMode mode) {
  fs::OpenResult opened = fs::OpenFile(path, mode);
  if (!opened.file) {
    if (opened.error == fs::OpenFailure::None) return Outcome::Failure(FailureKind::Io, "the file could not be opened");
    return fs::DescribeOpenError(opened);
  }
  return Open(std::move(opened.file), mode);
}

Result<std::unique_ptr<CompoundFile>> CompoundFile::Open(std::unique_ptr<fs::RandomAccessFile> file, fs::OpenMode mode) {
  if (!file) return Outcome::Failure(FailureKind::Io, "the file could not be opened");
  auto state = std::make_unique<State>();
  state->file = std::move(file);
  state->writable = mode == fs::OpenMode::ReadWrite;
  if (Outcome loaded = state->Load(); !loaded) return loaded;
  if (state->writable) {
    if (Outcome whole = state->CheckWholeStructure(); !whole) return whole;
  }
  return std::unique_ptr<CompoundFile>(new CompoundFile(std::move(state)));
}

fs::RandomAccessFile& CompoundFile::File() { return *state_->file; }

bool CompoundFile::IsCompoundFile(const std::string& path) {
  fs::OpenResult opened = fs::OpenFile(path, fs::OpenMode::Read);
  if (!opened.file || opened.file->Size() < kHeaderSize) return false;
  std::uint8_t signature[sizeof kSignature];
  return opened.file->ReadAt(0, signature, sizeof signature) &&
         std::memcmp(signature, kSignature, sizeof kSignature) == 0;
}

std::optional<EntryId> CompoundFile::FindChild(EntryId storage, std::u16string_view name) const {
  if (!IsStorage(storage)) return std::nullopt;
  return state_->dir.FindChild(storage, name);
}

bool CompoundFile::IsStream(EntryId entry) const { return state_->IsStreamEntry(entry); }

bool CompoundFile::IsStorage(EntryId entry) const {
  const State& s = *state_;
  if (!s.dir.Contains(entry) || !s.reachable[entry]) return false;
  return s.dir.Type(entry) == kTypeStorage || s.dir.Type(entry) == kTypeRoot;
}

std::uint64_t CompoundFile::StreamSize(EntryId stream) const {
  return IsStream(stream) ? state_->dir.Size(stream, state_->version3) : 0;
}

std::optional<std::vector<std::uint8_t>> CompoundFile::ReadStream(EntryId stream) const {
  return ReadStreamRange(stream, 0, SIZE_MAX);
}

std::optional<std::vector<std::uint8_t>> CompoundFile::ReadStreamRange(EntryId stream, std::uint64_t offset,
                                                                        std::size_t count) const {
  const State& s = *state_;
  if (!s.IsStreamEntry(stream)) return std::nullopt;
  const std::uint64_t size = s.dir.Size(stream, s.version3);
  const std::uint64_t begin = std::min(offset, size);
  const std::uint64_t end = begin + std::min<std::uint64_t>(count, size - begin);
  std::optional<StreamLayout> layout = s.Layout(stream);
  if (!layout) return std::nullopt;
  // Layout has checked the size against the chain, so this allocation is bounded by the file.
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(end - begin));
  for (const FilePiece& piece : s.Pieces(*layout, begin, end - begin)) {
    if (!s.AppendAt(piece.offset, piece.size, bytes)) return std::nullopt;  // pieces come in order
  }
  return bytes;
}

}  // namespace kestrel::storage
