#include "platform/storage/CompoundFile.h"

#include <algorithm>
#include <cstring>

#include "platform/storage/CompoundFileState.h"

namespace kestrel::storage {

using namespace cfb;

namespace {

void SetError(OpenError* error, OpenError value) {
  if (error != nullptr) *error = value;
}

OpenError FromFsError(fs::OpenError error) {
  switch (error) {
    case fs::OpenError::None:
      return OpenError::None;
    case fs::OpenError::NotFound:
      return OpenError::NotFound;
    case fs::OpenError::Locked:
      return OpenError::Locked;
    case fs::OpenError::ReadOnly:
      return OpenError::ReadOnly;
    case fs::OpenError::Other:
      break;
  }
  return OpenError::Io;
}

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
  std::vector<bool> seen(limit, false);
  std::uint32_t unit = start;
  while (walk.units.size() < stopAfter) {
    if (unit == kEndOfChain) {
      walk.complete = stopAfter == UINT64_MAX;
      return walk;
    }
    if (!SectorInRange(unit, limit) || seen[unit]) return walk;
    seen[unit] = true;
    walk.units.push_back(unit);
    unit = table[unit];
  }
  walk.complete = true;
  return walk;
}

constexpr std::uint64_t kWholeChain = UINT64_MAX;

}  // namespace

std::uint64_t CompoundFile::State::FileSectors() const {
  if (fileSize <= SectorSize()) return 0;
  return UnitsFor(fileSize - SectorSize(), shift);
}

std::uint64_t CompoundFile::State::MiniSectorCount() const {
  if (!miniStreamUsable) return 0;
  return std::min<std::uint64_t>(UnitsFor(dir.Size(kRootEntry, version3), kMiniSectorShift), miniFat.size());
}

bool CompoundFile::State::ReadSector(std::uint32_t sector, std::uint8_t* out) const {
  const std::uint64_t offset = SectorOffset(sector);
  if (offset >= fileSize) return false;
  const std::size_t present = static_cast<std::size_t>(std::min<std::uint64_t>(SectorSize(), fileSize - offset));
  std::memset(out + present, 0, SectorSize() - present);
  return file->ReadAt(offset, out, present);
}

// Reads the header, DIFAT, FAT, directory and mini FAT. Read mode keeps whatever part of a
// damaged table it can (unknown FAT entries read as free, so chains through them fail); write
// mode then asks CheckWholeStructure for all of it.
bool CompoundFile::State::Load(OpenError* error) {
  fileSize = file->Size();
  if (fileSize < kHeaderSize) {
    SetError(error, OpenError::NotCompoundFile);
    return false;
  }
  if (!file->ReadAt(0, header.data(), header.size())) {
    SetError(error, OpenError::Io);
    return false;
  }
  if (std::memcmp(header.data(), kSignature, sizeof kSignature) != 0) {
    SetError(error, OpenError::NotCompoundFile);
    return false;
  }
  SetError(error, OpenError::Damaged);
  const std::uint16_t major = Get16(header.data() + kHdrMajorVersion);
  const std::uint16_t sectorShift = Get16(header.data() + kHdrSectorShift);
  const bool headerValid = ((major == 3 && sectorShift == 9) || (major == 4 && sectorShift == 12)) &&
                           Get16(header.data() + kHdrByteOrder) == 0xFFFE &&
                           Get16(header.data() + kHdrMiniSectorShift) == kMiniSectorShift &&
                           HeaderField(kHdrMiniStreamCutoff) == kMiniStreamCutoff;
  if (!headerValid) return false;
  version3 = major == 3;
  shift = sectorShift;

  // DIFAT: up to 109 FAT sectors in the header, the rest in a chain of DIFAT sectors whose last
  // entry links to the next. A FAT cannot have more sectors than the file.
  const std::uint64_t fileSectors = FileSectors();
  const std::uint64_t fatCount = std::min<std::uint64_t>(HeaderField(kHdrFatSectorCount), fileSectors);
  for (std::size_t i = 0; i < std::min<std::uint64_t>(fatCount, kHeaderDifatEntries); ++i) {
    fatSectors.push_back(Get32(header.data() + kHdrDifat + 4 * i));
  }
  std::vector<std::uint8_t> sector(SectorSize());
  std::vector<bool> seenDifat(fileSectors, false);
  std::uint32_t next = HeaderField(kHdrFirstDifatSector);
  while (fatSectors.size() < fatCount) {
    if (!SectorInRange(next, fileSectors) || seenDifat[next] || !ReadSector(next, sector.data())) break;
    seenDifat[next] = true;
    difatSectors.push_back(next);
    for (std::uint32_t i = 0; i + 1 < EntriesPerSector() && fatSectors.size() < fatCount; ++i) {
      fatSectors.push_back(Get32(sector.data() + 4 * i));
    }
    next = Get32(sector.data() + SectorSize() - 4);
  }

  fat.assign(fatSectors.size() * EntriesPerSector(), kFreeSect);
  for (std::size_t k = 0; k < fatSectors.size(); ++k) {
    if (!SectorInRange(fatSectors[k], fileSectors) || !ReadSector(fatSectors[k], sector.data())) continue;
    for (std::uint32_t i = 0; i < EntriesPerSector(); ++i) fat[k * EntriesPerSector() + i] = Get32(sector.data() + 4 * i);
  }

  // Directory: whatever prefix of its chain holds together; it must at least hold the root.
  ChainWalk dirWalk = WalkChain(fat, fileSectors, HeaderField(kHdrFirstDirSector), kWholeChain);
  dirSectors = std::move(dirWalk.units);
  std::vector<std::uint8_t> dirBytes(dirSectors.size() * SectorSize());
  for (std::size_t i = 0; i < dirSectors.size(); ++i) {
    if (!ReadSector(dirSectors[i], dirBytes.data() + i * SectorSize())) return false;
  }
  dir = Directory(std::move(dirBytes));
  if (!dir.Contains(kRootEntry) || dir.Type(kRootEntry) != kTypeRoot) return false;

  // Mini FAT: the first `count` sectors of its chain.
  const std::uint32_t miniFatCount = HeaderField(kHdrMiniFatSectorCount);
  if (miniFatCount > 0) {
    ChainWalk walk = WalkChain(fat, fileSectors, HeaderField(kHdrFirstMiniFatSector), miniFatCount);
    miniFatSectors = std::move(walk.units);
  }
  miniFat.assign(miniFatSectors.size() * EntriesPerSector(), kFreeSect);
  for (std::size_t k = 0; k < miniFatSectors.size(); ++k) {
    if (!ReadSector(miniFatSectors[k], sector.data())) return false;
    for (std::uint32_t i = 0; i < EntriesPerSector(); ++i) {
      miniFat[k * EntriesPerSector() + i] = Get32(sector.data() + 4 * i);
    }
  }

  // The mini stream is the root entry's chain; its size must fit the chain.
  ChainWalk rootWalk = WalkChain(fat, fileSectors, dir.Start(kRootEntry), kWholeChain);
  rootSectors = std::move(rootWalk.units);
  miniStreamUsable = rootWalk.complete && SizeFitsChain(dir.Size(kRootEntry, version3), rootSectors.size(), shift);

  // Entries reachable from the root, each once; cycles and bad ids end a branch.
  reachable.assign(dir.Count(), false);
  reachable[kRootEntry] = true;
  std::vector<std::uint32_t> pending{dir.Child(kRootEntry)};
  while (!pending.empty()) {
    std::uint32_t id = pending.back();
    pending.pop_back();
    if (!dir.Contains(id) || reachable[id]) continue;
    reachable[id] = true;
    pending.push_back(dir.Left(id));
    pending.push_back(dir.Right(id));
    if (dir.Type(id) == kTypeStorage) pending.push_back(dir.Child(id));
  }
  SetError(error, OpenError::None);
  return true;
}

// Write mode's precondition: every table and chain is whole and in the file, and no sector or
// mini sector belongs to two owners. Only then are free sectors really free.
bool CompoundFile::State::CheckWholeStructure() const {
  const std::uint64_t fileSectors = FileSectors();
  if (fatSectors.size() != HeaderField(kHdrFatSectorCount)) return false;
  if (difatSectors.size() != HeaderField(kHdrDifatSectorCount)) return false;
  if (!difatSectors.empty()) {
    std::vector<std::uint8_t> last(SectorSize());
    if (!ReadSector(difatSectors.back(), last.data())) return false;
    const std::uint32_t end = Get32(last.data() + SectorSize() - 4);
    if (end != kEndOfChain && end != kFreeSect) return false;
  }
  if (version3 && HeaderField(kHdrDirSectorCount) != 0) return false;
  if (miniFatSectors.size() != HeaderField(kHdrMiniFatSectorCount)) return false;

  std::vector<bool> used(fileSectors, false);
  auto claim = [&](std::uint32_t sector) {
    if (!SectorInRange(sector, fileSectors) || SectorOffset(sector) + SectorSize() > fileSize || used[sector]) {
      return false;
    }
    used[sector] = true;
    return true;
  };
  auto claimAll = [&](const std::vector<std::uint32_t>& sectors) {
    return std::all_of(sectors.begin(), sectors.end(), claim);
  };
  for (std::uint32_t sector : fatSectors) {
    if (!claim(sector) || sector >= fat.size() || fat[sector] != kFatSect) return false;
  }
  for (std::uint32_t sector : difatSectors) {
    if (!claim(sector) || sector >= fat.size() || fat[sector] != kDifSect) return false;
  }
  ChainWalk dirWalk = WalkChain(fat, fileSectors, HeaderField(kHdrFirstDirSector), kWholeChain);
  if (!dirWalk.complete || !claimAll(dirSectors) || !claimAll(miniFatSectors)) return false;
  if (!miniStreamUsable || !claimAll(rootSectors)) return false;

  std::vector<bool> miniUsed(MiniSectorCount(), false);
  std::vector<bool> linked(dir.Count(), false);
  std::vector<std::uint32_t> pending{dir.Child(kRootEntry)};
  while (!pending.empty()) {
    const std::uint32_t id = pending.back();
    pending.pop_back();
    if (id == kNoStream) continue;
    if (!EntryInRange(id, dir.Count()) || id == kRootEntry || linked[id]) return false;
    linked[id] = true;
    if (!dir.Name(id)) return false;
    pending.push_back(dir.Left(id));
    pending.push_back(dir.Right(id));
    if (dir.Type(id) == kTypeStorage) {
      pending.push_back(dir.Child(id));
      continue;
    }
    if (dir.Type(id) != kTypeStream) return false;
    const std::uint64_t size = dir.Size(id, version3);
    if (size == 0) continue;
    if (size < kMiniStreamCutoff) {
      ChainWalk walk = WalkChain(miniFat, MiniSectorCount(), dir.Start(id), kWholeChain);
      if (!walk.complete || !SizeFitsChain(size, walk.units.size(), kMiniSectorShift)) return false;
      for (std::uint32_t unit : walk.units) {
        if (miniUsed[unit]) return false;
        miniUsed[unit] = true;
      }
    } else {
      ChainWalk walk = WalkChain(fat, fileSectors, dir.Start(id), kWholeChain);
      if (!walk.complete || !SizeFitsChain(size, walk.units.size(), shift) || !claimAll(walk.units)) return false;
    }
  }
  return true;
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

std::unique_ptr<CompoundFile> CompoundFile::Open(const std::string& path, fs::OpenMode mode, OpenError* error) {
  fs::OpenResult opened = fs::OpenFile(path, mode);
  if (opened.error != fs::OpenError::None || !opened.file) {
    SetError(error, opened.error == fs::OpenError::None ? OpenError::Io : FromFsError(opened.error));
    return nullptr;
  }
  auto state = std::make_unique<State>();
  state->file = std::move(opened.file);
  state->writable = mode == fs::OpenMode::ReadWrite;
  if (!state->Load(error)) return nullptr;
  if (state->writable && !state->CheckWholeStructure()) {
    SetError(error, OpenError::Damaged);
    return nullptr;
  }
  return std::unique_ptr<CompoundFile>(new CompoundFile(std::move(state)));
}

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
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(end - begin));
  for (const FilePiece& piece : s.Pieces(*layout, begin, end - begin)) {
    if (!s.file->ReadAt(piece.offset, bytes.data() + piece.at, piece.size)) return std::nullopt;
  }
  return bytes;
}

}  // namespace kestrel::storage
