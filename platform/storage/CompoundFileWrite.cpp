// The writing half of CompoundFile. Every operation is ordered so that a reader opening the file
// after any prefix of its writes sees a whole file with each stream old or new: new data and
// table entries go to sectors nothing references yet, one write switches a reference to them,
// and only then are the old sectors marked free. The header and directory entries are the
// switches; a sync before each keeps that order on the disk too, should the power fail.

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

#include "platform/storage/CompoundFile.h"
#include "platform/storage/CompoundFileState.h"

namespace kestrel::storage {

using namespace cfb;

namespace {

// Sorted, without duplicates.
std::vector<std::uint32_t> Distinct(std::vector<std::uint32_t> values) {
  std::sort(values.begin(), values.end());
  values.erase(std::unique(values.begin(), values.end()), values.end());
  return values;
}

void LinkChain(std::vector<std::uint32_t>& table, const std::vector<std::uint32_t>& units) {
  for (std::size_t i = 0; i < units.size(); ++i) table[units[i]] = i + 1 < units.size() ? units[i + 1] : kEndOfChain;
}

bool NameAllowed(std::u16string_view name) {
  if (name.empty() || name.size() > kMaxNameUnits) return false;
  return std::none_of(name.begin(), name.end(),
                      [](char16_t c) { return c == 0 || c == u'/' || c == u'\\' || c == u':' || c == u'!'; });
}

}  // namespace

bool CompoundFile::State::WritePieces(const std::vector<FilePiece>& pieces, const std::uint8_t* buffer) {
  for (const FilePiece& piece : pieces) {
    if (broken || !file->WriteAt(piece.offset, buffer + piece.at, piece.size)) {
      broken = true;
      return false;
    }
    fileSize = std::max(fileSize, piece.offset + piece.size);
    unsynced = true;
  }
  return true;
}

bool CompoundFile::State::Barrier() {
  if (!unsynced) return true;
  if (broken || !file->Sync()) {
    broken = true;
    return false;
  }
  unsynced = false;
  return true;
}

bool CompoundFile::State::WriteHeader() { return Barrier() && WritePieces({{0, 0, kHeaderSize}}, header.data()); }

// Writes each FAT sector holding an entry of `sectors`, whole, from the copy in memory.
bool CompoundFile::State::WriteFatFor(const std::vector<std::uint32_t>& sectors) {
  std::vector<std::uint32_t> indexes;
  for (std::uint32_t sector : sectors) indexes.push_back(sector / EntriesPerSector());
  std::vector<std::uint8_t> bytes(SectorSize());
  for (std::uint32_t k : Distinct(std::move(indexes))) {
    for (std::uint32_t i = 0; i < EntriesPerSector(); ++i) Put32(bytes.data() + 4 * i, fat[k * EntriesPerSector() + i]);
    if (!WritePieces({{SectorOffset(fatSectors[k]), 0, bytes.size()}}, bytes.data())) return false;
  }
  return true;
}

bool CompoundFile::State::WriteMiniFatFor(const std::vector<std::uint32_t>& miniSectors) {
  std::vector<std::uint32_t> indexes;
  for (std::uint32_t unit : miniSectors) indexes.push_back(unit / EntriesPerSector());
  std::vector<std::uint8_t> bytes(SectorSize());
  for (std::uint32_t k : Distinct(std::move(indexes))) {
    for (std::uint32_t i = 0; i < EntriesPerSector(); ++i) {
      Put32(bytes.data() + 4 * i, miniFat[k * EntriesPerSector() + i]);
    }
    if (!WritePieces({{SectorOffset(miniFatSectors[k]), 0, bytes.size()}}, bytes.data())) return false;
  }
  return true;
}

// Entries first..last must share one directory sector: this is a single write.
bool CompoundFile::State::WriteEntries(EntryId first, EntryId last) {
  const std::uint64_t begin = std::uint64_t{first} * kDirEntrySize;
  const std::uint64_t end = (std::uint64_t{last} + 1) * kDirEntrySize;
  const std::uint64_t fileOffset = SectorOffset(dirSectors[begin >> shift]) + (begin & (SectorSize() - 1));
  return Barrier() && WritePieces({{fileOffset, static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin)}},
                     dir.Bytes().data());
}

// Free sectors, lowest first; the FAT grows at the end of the file when none are left. The
// returned sectors are marked end-of-chain in memory so they are not handed out twice.
std::optional<std::vector<std::uint32_t>> CompoundFile::State::Allocate(std::size_t count) {
  std::vector<std::uint32_t> sectors;
  for (std::uint64_t sector = 0; sectors.size() < count; ++sector) {
    if (sector == fat.size() && !AddFatSector()) return std::nullopt;
    if (fat[sector] != kFreeSect) continue;
    fat[sector] = kEndOfChain;
    sectors.push_back(static_cast<std::uint32_t>(sector));
  }
  return sectors;
}

// A new FAT sector goes where the current FAT stops covering (a sector nothing can reference),
// marks itself as a FAT sector, and is written before anything registers it.
bool CompoundFile::State::AddFatSector() {
  const std::uint64_t sector = fat.size();
  if (sector > kMaxRegSect - EntriesPerSector()) {
    broken = true;
    return false;
  }
  fat.resize(fat.size() + EntriesPerSector(), kFreeSect);
  fat[sector] = kFatSect;
  fatSectors.push_back(static_cast<std::uint32_t>(sector));
  if (!WriteFatFor({static_cast<std::uint32_t>(sector)})) return false;
  return RegisterFatSector(static_cast<std::uint32_t>(sector));
}

bool CompoundFile::State::RegisterFatSector(std::uint32_t sector) {
  const std::size_t index = fatSectors.size() - 1;
  if (index < kHeaderDifatEntries) {
    Put32(header.data() + kHdrDifat + 4 * index, sector);
    SetHeaderField(kHdrFatSectorCount, static_cast<std::uint32_t>(fatSectors.size()));
    return WriteHeader();
  }
  const std::size_t perDifat = EntriesPerSector() - 1;
  const std::size_t slot = index - kHeaderDifatEntries;
  if (slot >= difatSectors.size() * perDifat) return RebuildDifatChain();
  // Room in the last DIFAT sector: readers that go by the count ignore the entry until the
  // header write, and those that read up to the first free entry find a valid FAT sector.
  std::vector<std::uint8_t> bytes(SectorSize());
  if (!ReadSector(difatSectors[slot / perDifat], bytes.data())) {
    broken = true;
    return false;
  }
  Put32(bytes.data() + 4 * (slot % perDifat), sector);
  if (!WritePieces({{SectorOffset(difatSectors[slot / perDifat]), 0, bytes.size()}}, bytes.data())) return false;
  SetHeaderField(kHdrFatSectorCount, static_cast<std::uint32_t>(fatSectors.size()));
  return WriteHeader();
}

// Linking a new DIFAT sector to the last one would show readers a chain that disagrees with the
// header's counts, so the whole chain is written afresh and the header switches to it at once.
bool CompoundFile::State::RebuildDifatChain() {
  const std::size_t perDifat = EntriesPerSector() - 1;
  const std::size_t needed = (fatSectors.size() - kHeaderDifatEntries + perDifat - 1) / perDifat;
  std::optional<std::vector<std::uint32_t>> fresh = Allocate(needed);
  if (!fresh) return false;
  for (std::uint32_t sector : *fresh) fat[sector] = kDifSect;
  std::vector<std::uint8_t> bytes(needed * SectorSize());
  std::vector<FilePiece> pieces;
  for (std::size_t d = 0; d < needed; ++d) {
    std::uint8_t* out = bytes.data() + d * SectorSize();
    for (std::size_t i = 0; i < perDifat; ++i) {
      const std::size_t index = kHeaderDifatEntries + d * perDifat + i;
      Put32(out + 4 * i, index < fatSectors.size() ? fatSectors[index] : kFreeSect);
    }
    Put32(out + 4 * perDifat, d + 1 < needed ? (*fresh)[d + 1] : kEndOfChain);
    pieces.push_back({SectorOffset((*fresh)[d]), d * SectorSize(), SectorSize()});
  }
  if (!WritePieces(pieces, bytes.data()) || !WriteFatFor(*fresh)) return false;
  SetHeaderField(kHdrFirstDifatSector, (*fresh)[0]);
  SetHeaderField(kHdrDifatSectorCount, static_cast<std::uint32_t>(needed));
  SetHeaderField(kHdrFatSectorCount, static_cast<std::uint32_t>(fatSectors.size()));
  if (!WriteHeader()) return false;
  const std::vector<std::uint32_t> old = std::exchange(difatSectors, *fresh);
  for (std::uint32_t sector : old) fat[sector] = kFreeSect;
  return WriteFatFor(old);
}

std::optional<std::uint32_t> CompoundFile::State::WriteChain(std::span<const std::uint8_t> content) {
  if (content.empty()) return kEndOfChain;
  return content.size() < kMiniStreamCutoff ? WriteMiniChain(content) : WriteNormalChain(content);
}

// Data into free sectors, then their FAT entries; nothing references them yet.
std::optional<std::uint32_t> CompoundFile::State::WriteNormalChain(std::span<const std::uint8_t> content) {
  const std::uint64_t count = UnitsFor(content.size(), shift);
  std::optional<std::vector<std::uint32_t>> sectors = Allocate(static_cast<std::size_t>(count));
  if (!sectors) return std::nullopt;
  std::vector<std::uint8_t> padded(static_cast<std::size_t>(count) << shift, 0);
  std::copy(content.begin(), content.end(), padded.begin());
  StreamLayout layout{false, *sectors, padded.size()};
  if (!WritePieces(Pieces(layout, 0, padded.size()), padded.data())) return std::nullopt;
  LinkChain(fat, *sectors);
  if (!WriteFatFor(*sectors)) return std::nullopt;
  return (*sectors)[0];
}

// Data into free mini sectors. When they lie past the mini FAT or the mini stream, both grow
// first in the order readers tolerate: new mini FAT sectors, linked, then the header count; new
// mini stream sectors, linked, then the root entry's size (a chain longer than its size is fine,
// a shorter one is not, and the mini FAT must cover the mini stream).
std::optional<std::uint32_t> CompoundFile::State::WriteMiniChain(std::span<const std::uint8_t> content) {
  const std::size_t count = static_cast<std::size_t>(UnitsFor(content.size(), kMiniSectorShift));
  std::vector<std::uint32_t> units;
  for (std::uint64_t unit = 0; units.size() < count; ++unit) {
    if (unit < miniFat.size() && miniFat[unit] != kFreeSect) continue;
    units.push_back(static_cast<std::uint32_t>(unit));
  }
  const std::uint64_t unitsNeeded = std::uint64_t{units.back()} + 1;
  const std::uint64_t miniFatNeeded = UnitsFor(unitsNeeded * 4, shift);
  const std::uint64_t rootNeeded = UnitsFor(unitsNeeded << kMiniSectorShift, shift);
  const std::size_t extraMiniFat =
      static_cast<std::size_t>(miniFatNeeded > miniFatSectors.size() ? miniFatNeeded - miniFatSectors.size() : 0);
  const std::size_t extraRoot =
      static_cast<std::size_t>(rootNeeded > rootSectors.size() ? rootNeeded - rootSectors.size() : 0);
  std::optional<std::vector<std::uint32_t>> fresh = Allocate(extraMiniFat + extraRoot);
  if (!fresh) return std::nullopt;
  const std::vector<std::uint32_t> newMiniFat(fresh->begin(), fresh->begin() + static_cast<std::ptrdiff_t>(extraMiniFat));
  const std::vector<std::uint32_t> newRoot(fresh->begin() + static_cast<std::ptrdiff_t>(extraMiniFat), fresh->end());
  const std::size_t oldRootCount = rootSectors.size();
  rootSectors.insert(rootSectors.end(), newRoot.begin(), newRoot.end());

  // Data: mini sectors in existing mini stream sectors one by one, new mini stream sectors whole.
  std::vector<std::uint8_t> padded(count << kMiniSectorShift, 0);
  std::copy(content.begin(), content.end(), padded.begin());
  std::vector<std::uint8_t> newRootBytes(newRoot.size() << shift, 0);
  std::vector<FilePiece> pieces;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint64_t inMiniStream = std::uint64_t{units[i]} << kMiniSectorShift;
    const std::size_t rootIndex = static_cast<std::size_t>(inMiniStream >> shift);
    if (rootIndex >= oldRootCount) {
      const std::size_t at = ((rootIndex - oldRootCount) << shift) + (inMiniStream & (SectorSize() - 1));
      std::memcpy(newRootBytes.data() + at, padded.data() + (i << kMiniSectorShift), kMiniSectorSize);
      continue;
    }
    const std::uint64_t fileOffset = UnitOffset(true, units[i]);
    if (!pieces.empty() && pieces.back().offset + pieces.back().size == fileOffset &&
        pieces.back().at + pieces.back().size == (i << kMiniSectorShift)) {
      pieces.back().size += kMiniSectorSize;
    } else {
      pieces.push_back({fileOffset, i << kMiniSectorShift, kMiniSectorSize});
    }
  }
  if (!WritePieces(pieces, padded.data())) return std::nullopt;
  StreamLayout rootLayout{false, newRoot, newRootBytes.size()};
  if (!WritePieces(Pieces(rootLayout, 0, newRootBytes.size()), newRootBytes.data())) return std::nullopt;

  // The new chain's mini FAT entries; new mini FAT sectors are written whole, then joined.
  const std::size_t oldMiniFatEntries = miniFat.size();
  miniFat.resize((miniFatSectors.size() + newMiniFat.size()) * EntriesPerSector(), kFreeSect);
  LinkChain(miniFat, units);
  if (!newMiniFat.empty()) {
    std::vector<std::uint8_t> bytes(newMiniFat.size() << shift);
    for (std::size_t i = 0; i < newMiniFat.size() * EntriesPerSector(); ++i) {
      Put32(bytes.data() + 4 * i, miniFat[oldMiniFatEntries + i]);
    }
    if (!WritePieces(Pieces({false, newMiniFat, bytes.size()}, 0, bytes.size()), bytes.data())) return std::nullopt;
    LinkChain(fat, newMiniFat);
    if (!WriteFatFor(newMiniFat)) return std::nullopt;
    if (miniFatSectors.empty()) {
      SetHeaderField(kHdrFirstMiniFatSector, newMiniFat[0]);
    } else {
      fat[miniFatSectors.back()] = newMiniFat[0];
      if (!WriteFatFor({miniFatSectors.back()})) return std::nullopt;
    }
    miniFatSectors.insert(miniFatSectors.end(), newMiniFat.begin(), newMiniFat.end());
    SetHeaderField(kHdrMiniFatSectorCount, static_cast<std::uint32_t>(miniFatSectors.size()));
    if (!WriteHeader()) return std::nullopt;
  }
  std::vector<std::uint32_t> inOldSectors;
  std::copy_if(units.begin(), units.end(), std::back_inserter(inOldSectors),
               [&](std::uint32_t unit) { return unit < oldMiniFatEntries; });
  if (!WriteMiniFatFor(inOldSectors)) return std::nullopt;

  // The mini stream grows: its new sectors, linked after the old last one, then the size.
  if (!newRoot.empty()) {
    LinkChain(fat, newRoot);
    if (!WriteFatFor(newRoot)) return std::nullopt;
    if (oldRootCount == 0) {
      dir.SetStart(kRootEntry, newRoot[0]);
    } else {
      fat[rootSectors[oldRootCount - 1]] = newRoot[0];
      if (!WriteFatFor({rootSectors[oldRootCount - 1]})) return std::nullopt;
    }
  }
  const std::uint64_t rootSize = dir.Size(kRootEntry, version3);
  if (unitsNeeded << kMiniSectorShift > rootSize) {
    dir.SetSize(kRootEntry, std::max(rootSize, unitsNeeded << kMiniSectorShift));
    if (!WriteEntries(kRootEntry, kRootEntry)) return std::nullopt;
  }
  return units[0];
}

// After the switch: the old chain's entries become free.
bool CompoundFile::State::FreeChain(const StreamLayout& old) {
  if (old.size == 0) return true;
  std::vector<std::uint32_t>& table = old.mini ? miniFat : fat;
  for (std::uint32_t unit : old.units) table[unit] = kFreeSect;
  return old.mini ? WriteMiniFatFor(old.units) : WriteFatFor(old.units);
}

// A new directory sector of unused entries joins the end of the chain; readers see more unused
// entries and nothing else.
bool CompoundFile::State::ExtendDirectory() {
  std::optional<std::vector<std::uint32_t>> sector = Allocate(1);
  if (!sector) return false;
  const std::size_t oldSize = dir.Bytes().size();
  dir.AppendUnused(SectorSize() / kDirEntrySize);
  if (!WritePieces({{SectorOffset((*sector)[0]), oldSize, SectorSize()}}, dir.Bytes().data())) return false;
  if (!WriteFatFor(*sector)) return false;
  fat[dirSectors.back()] = (*sector)[0];
  if (!WriteFatFor({dirSectors.back()})) return false;
  dirSectors.push_back((*sector)[0]);
  reachable.resize(dir.Count(), false);
  if (version3) return true;
  SetHeaderField(kHdrDirSectorCount, static_cast<std::uint32_t>(dirSectors.size()));
  return WriteHeader();
}

// Makes `next` the directory: one write when every changed entry is in one sector, else a
// complete copy in free sectors and one header write that switches to it.
bool CompoundFile::State::CommitDirectory(Directory next) {
  std::vector<EntryId> changed;
  for (EntryId id = 0; id < next.Count(); ++id) {
    const auto* a = dir.Bytes().data() + std::size_t{id} * kDirEntrySize;
    const auto* b = next.Bytes().data() + std::size_t{id} * kDirEntrySize;
    if (std::memcmp(a, b, kDirEntrySize) != 0) changed.push_back(id);
  }
  if (changed.empty()) return true;
  const std::uint32_t perSector = SectorSize() / kDirEntrySize;
  if (changed.front() / perSector == changed.back() / perSector) {
    dir = std::move(next);
    return WriteEntries(changed.front(), changed.back());
  }
  std::optional<std::vector<std::uint32_t>> fresh = Allocate(dirSectors.size());
  if (!fresh) return false;
  StreamLayout layout{false, *fresh, next.Bytes().size()};
  if (!WritePieces(Pieces(layout, 0, next.Bytes().size()), next.Bytes().data())) return false;
  LinkChain(fat, *fresh);
  if (!WriteFatFor(*fresh)) return false;
  SetHeaderField(kHdrFirstDirSector, (*fresh)[0]);
  if (!version3) SetHeaderField(kHdrDirSectorCount, static_cast<std::uint32_t>(fresh->size()));
  if (!WriteHeader()) return false;
  dir = std::move(next);
  const std::vector<std::uint32_t> old = std::exchange(dirSectors, *fresh);
  for (std::uint32_t sector : old) fat[sector] = kFreeSect;
  return WriteFatFor(old);
}

bool CompoundFile::WriteStreamRange(EntryId stream, std::uint64_t offset, std::span<const std::uint8_t> data) {
  State& s = *state_;
  if (!s.CanWrite()) return false;
  std::optional<StreamLayout> layout = s.Layout(stream);
  if (!layout || offset > layout->size || data.size() > layout->size - offset) return false;
  return s.WritePieces(s.Pieces(*layout, offset, data.size()), data.data());
}

bool CompoundFile::ReplaceStream(EntryId stream, std::span<const std::uint8_t> content) {
  State& s = *state_;
  if (!s.CanWrite()) return false;
  std::optional<StreamLayout> old = s.Layout(stream);
  if (!old || (s.version3 && content.size() > UINT32_MAX)) return false;
  std::optional<std::uint32_t> start = s.WriteChain(content);
  if (!start) return false;
  s.dir.SetStart(stream, *start);
  s.dir.SetSize(stream, content.size());
  if (!s.WriteEntries(stream, stream)) return false;  // the switch
  return s.FreeChain(*old);
}

bool CompoundFile::SetStreamSize(EntryId stream, std::uint64_t size) {
  if (!state_->CanWrite() || (state_->version3 && size > UINT32_MAX)) return false;
  std::optional<std::vector<std::uint8_t>> content = ReadStream(stream);
  if (!content) return false;
  content->resize(static_cast<std::size_t>(size), 0);
  return ReplaceStream(stream, *content);
}

std::optional<EntryId> CompoundFile::CreateStream(EntryId storage, std::u16string_view name,
                                                  std::span<const std::uint8_t> content) {
  State& s = *state_;
  if (!s.CanWrite() || !IsStorage(storage) || !NameAllowed(name) || FindChild(storage, name)) return std::nullopt;
  if (s.version3 && content.size() > UINT32_MAX) return std::nullopt;

  EntryId slot = 1;
  while (slot < s.dir.Count() && s.dir.Type(slot) != kTypeUnused) ++slot;
  // A trial insertion first, so a tree we cannot walk stops us before any write.
  Directory trial = s.dir;
  if (slot == trial.Count()) trial.AppendUnused(s.SectorSize() / kDirEntrySize);
  trial.InitStream(slot, name, kEndOfChain, 0);
  if (!trial.InsertChild(storage, slot)) return std::nullopt;

  if (slot == s.dir.Count() && !s.ExtendDirectory()) return std::nullopt;
  std::optional<std::uint32_t> start = s.WriteChain(content);
  if (!start) return std::nullopt;
  Directory next = s.dir;
  next.InitStream(slot, name, *start, content.size());
  if (!next.InsertChild(storage, slot) || !s.CommitDirectory(std::move(next))) return std::nullopt;
  s.reachable[slot] = true;
  return slot;
}

bool CompoundFile::Flush() {
  State& s = *state_;
  if (!s.CanWrite()) return false;
  if (!s.file->Sync()) {
    s.broken = true;
    return false;
  }
  return true;
}

}  // namespace kestrel::storage
