// The transaction of CompoundFile: one commit, copy-on-write.
//
// The file as it stands is never written into, except for its 512-byte header. A commit plans
// the whole new structure in memory, layer by layer, each layer shadowing only what changed:
//
//   1. edited streams: unit by unit (mini sectors or sectors), unchanged units stay where they
//      are, changed and new ones go to fresh units, and the chain is relinked;
//   2. the mini stream: its sectors that receive new mini units are copied, patched and put in
//      fresh sectors; it grows when new mini units lie past its end;
//   3. the mini FAT, then the directory: sectors whose bytes changed go to fresh sectors;
//   4. the FAT: every FAT sector whose content differs from the file goes to a fresh sector. That
//      changes FAT entries in turn, and growth may need more FAT sectors, so this runs until
//      nothing moves. When a FAT sector number kept in the DIFAT chain changes, the whole chain
//      is written afresh.
//
// The new tables are edits of the old ones: a plan copies only the table sectors and directory
// entries it changes. Fresh sectors are those the current FAT marks free, or past its end;
// sectors the current file uses and the new one does not are simply free in the new FAT, which
// becomes live with the header. Then: every fresh sector written (neighbours in one write),
// sync, header, sync. A kill before the header leaves the old file whole, after it the new one.
// Last, zeros go over what the new file freed, so no old value stays in it.

#include <algorithm>
#include <functional>
#include <span>
#include <map>
#include <set>
#include <utility>

#include "platform/storage/CompoundFile.h"
#include "platform/storage/CompoundFileState.h"

namespace kestrel::storage {

using namespace cfb;

void StreamEdits::Replace(EntryId stream, std::vector<std::uint8_t> content) {
  edits_.push_back({Kind::Replace, stream, 0, {}, std::move(content)});
}

void StreamEdits::Patch(EntryId stream, std::uint64_t offset, std::vector<std::uint8_t> bytes) {
  edits_.push_back({Kind::Patch, stream, offset, {}, std::move(bytes)});
}

void StreamEdits::Create(EntryId storage, std::u16string name, std::vector<std::uint8_t> content) {
  edits_.push_back({Kind::Create, storage, 0, std::move(name), std::move(content)});
}

namespace {

Outcome Refused(FailureKind kind, std::string message) { return Outcome::Failure(kind, std::move(message)); }

std::string EntryName(EntryId id) { return "entry " + std::to_string(id); }

bool NameAllowed(std::u16string_view name) {
  if (name.empty() || name.size() > kMaxNameUnits) return false;
  return std::none_of(name.begin(), name.end(),
                      [](char16_t c) { return c == 0 || c == u'/' || c == u'\\' || c == u':' || c == u'!'; });
}

// A sector table (the FAT or the mini FAT) as a commit changes it: a sector of the table is
// copied when one of its entries first changes, the rest is read through the old table. Entries
// past the old table are free.
class TableEdit {
 public:
  TableEdit(const std::vector<std::uint32_t>& old, std::size_t perSector) : old_(old), per_(perSector) {}

  std::uint32_t operator[](std::size_t i) const {
    const auto copy = copies_.find(i / per_);
    if (copy != copies_.end()) return copy->second[i % per_];
    return i < old_.size() ? old_[i] : kFreeSect;
  }
  void Set(std::size_t i, std::uint32_t value) {
    auto [copy, added] = copies_.try_emplace(i / per_);
    if (added) {
      copy->second.assign(per_, kFreeSect);
      const std::size_t first = i / per_ * per_;
      if (first < old_.size()) {
        std::copy_n(old_.begin() + static_cast<std::ptrdiff_t>(first), std::min(per_, old_.size() - first), copy->second.begin());
      }
    }
    copy->second[i % per_] = value;
  }
  // Entries up to the last sector of the table that holds any.
  std::size_t Size() const { return std::max(old_.size(), copies_.empty() ? 0 : (copies_.rbegin()->first + 1) * per_); }
  // Sector k of the table differs from the old one.
  bool Changed(std::size_t k) const {
    const auto copy = copies_.find(k);
    if (copy == copies_.end()) return false;
    for (std::size_t i = 0; i < per_; ++i) {
      if (copy->second[i] != (k * per_ + i < old_.size() ? old_[k * per_ + i] : kFreeSect)) return true;
    }
    return false;
  }
  // Sector k of the table in the file's byte order.
  std::vector<std::uint8_t> SectorBytes(std::size_t k) const {
    std::vector<std::uint8_t> bytes(per_ * 4);
    for (std::size_t i = 0; i < per_; ++i) Put32(bytes.data() + 4 * i, (*this)[k * per_ + i]);
    return bytes;
  }
  // The changed sectors go into `table`, which grows to hold them.
  void ApplyTo(std::vector<std::uint32_t>& table) const {
    table.resize(std::max(table.size(), Size()), kFreeSect);
    for (const auto& [k, entries] : copies_) std::copy(entries.begin(), entries.end(), table.begin() + static_cast<std::ptrdiff_t>(k * per_));
  }

 private:
  const std::vector<std::uint32_t>& old_;
  std::size_t per_;
  std::map<std::size_t, std::vector<std::uint32_t>> copies_;
};

// The old chain's entries become free, then the new chain is linked.
void Relink(TableEdit& table, const std::vector<std::uint32_t>& oldChain, const std::vector<std::uint32_t>& newChain) {
  for (std::uint32_t unit : oldChain) table.Set(unit, kFreeSect);
  for (std::size_t i = 0; i < newChain.size(); ++i) {
    table.Set(newChain[i], i + 1 < newChain.size() ? newChain[i + 1] : kEndOfChain);
  }
}

// DIFAT sectors needed for `fatCount` FAT sectors of `perSector` entries.
std::size_t DifatSectorsFor(std::size_t fatCount, std::size_t perSector) {
  if (fatCount <= kHeaderDifatEntries) return 0;
  return (fatCount - kHeaderDifatEntries + perSector - 2) / (perSector - 1);
}

// One stream's edits merged in order: the new content when replaced, and the patches after it
// (on the new content, or on the stream as it is).
struct StreamChange {
  std::uint64_t size = 0;
  const std::vector<std::uint8_t>* content = nullptr;
  std::vector<std::uint8_t> patched;  // a copy of *content, only when patches follow a Replace
  std::vector<std::pair<std::uint64_t, const std::vector<std::uint8_t>*>> patches;
};

}  // namespace

class CompoundFile::State::CommitPlan {
 public:
  explicit CommitPlan(const State& old)
      : old_(old), fat_(old.fat, old.EntriesPerSector()), miniFat_(old.miniFat, old.EntriesPerSector()),
        dir_(Directory::EditOf(old.dir)), header_(old.header),
        fatSectors_(old.fatSectors), difatSectors_(old.difatSectors), miniFatSectors_(old.miniFatSectors),
        dirSectors_(old.dirSectors), rootSectors_(old.rootSectors), oldMiniUnits_(old.MiniSectorCount()) {}

  Outcome PlanEdits(const StreamEdits& edits);
  Outcome PlanMiniStream();
  Outcome PlanMiniFat();
  Outcome PlanDirectory();
  Outcome PlanFat();
  void PlanHeader();

  bool WritesNothing() const { return fresh_.empty() && header_ == old_.header; }
  // Fresh sectors, sync, header, sync.
  Outcome Write(State& s) const;
  // Zeros over what the old file used and the new one does not, once the new one is live.
  void Scrub(State& s) const;
  // The new tables become the object's, after a successful Write.
  void Adopt(State& s);

 private:
  Outcome PlanStream(EntryId id, const StreamChange& change);
  Outcome TakeSector(std::uint32_t& sector);
  Outcome TakeMiniUnit(std::uint32_t& unit);
  // Puts `bytes` (at most one sector, or one mini sector) in a fresh unit of that kind.
  Outcome FreshSector(std::vector<std::uint8_t> bytes, std::uint32_t& sector);
  Outcome FreshUnit(bool mini, std::vector<std::uint8_t> bytes, std::uint32_t& unit);
  // Gives sector k of `chain` a fresh sector holding newSector(k) when k is new (from
  // `oldCount` on) or changed(k), and relinks the chain if any moved.
  Outcome ShadowChangedSectors(std::vector<std::uint32_t>& chain, std::size_t oldCount,
                            const std::function<std::vector<std::uint8_t>(std::size_t)>& newSector,
                            const std::function<bool(std::size_t)>& changed);

  std::uint32_t SectorSize() const { return old_.SectorSize(); }
  std::size_t EntriesPerSector() const { return old_.EntriesPerSector(); }

  const State& old_;
  // The new tables, as edits of the old ones.
  TableEdit fat_;
  TableEdit miniFat_;
  Directory dir_;
  std::array<std::uint8_t, kHeaderSize> header_;
  std::vector<std::uint32_t> fatSectors_;
  std::vector<std::uint32_t> difatSectors_;
  std::vector<std::uint32_t> miniFatSectors_;
  std::vector<std::uint32_t> dirSectors_;
  std::vector<std::uint32_t> rootSectors_;
  // Mini units the old file can reference lie below this; above it every unit is free.
  const std::uint64_t oldMiniUnits_;
  // Allocation goes lowest first, so sectors freed by earlier commits are used again; a cursor
  // suffices because nothing is taken twice.
  std::uint64_t nextSector_ = 0;
  std::uint64_t nextMiniUnit_ = 0;
  std::uint64_t miniStreamSize_ = 0;
  std::map<std::uint32_t, std::vector<std::uint8_t>> fresh_;              // sector -> its new bytes
  std::map<std::uint32_t, std::vector<std::uint8_t>> freshMiniUnits_;     // mini unit -> its 64 bytes
  std::vector<EntryId> created_;
};

Outcome CompoundFile::State::CommitPlan::TakeSector(std::uint32_t& sector) {
  for (;; ++nextSector_) {
    if (nextSector_ > kMaxRegSect) return Refused(FailureKind::Unsupported, "the compound file has no sector numbers left");
    const std::uint64_t candidate = nextSector_;
    if (candidate < old_.fat.size() && old_.fat[candidate] != kFreeSect) continue;
    ++nextSector_;
    sector = static_cast<std::uint32_t>(candidate);
    fat_.Set(sector, kEndOfChain);  // taken; the caller links it
    return Outcome::Success();
  }
}

Outcome CompoundFile::State::CommitPlan::TakeMiniUnit(std::uint32_t& unit) {
  for (;; ++nextMiniUnit_) {
    if (nextMiniUnit_ > kMaxRegSect) return Refused(FailureKind::Unsupported, "the mini stream has no room left");
    const std::uint64_t candidate = nextMiniUnit_;
    if (candidate < oldMiniUnits_ && old_.miniFat[candidate] != kFreeSect) continue;
    ++nextMiniUnit_;
    unit = static_cast<std::uint32_t>(candidate);
    miniFat_.Set(unit, kEndOfChain);
    return Outcome::Success();
  }
}

Outcome CompoundFile::State::CommitPlan::FreshSector(std::vector<std::uint8_t> bytes, std::uint32_t& sector) {
  if (Outcome taken = TakeSector(sector); !taken) return taken;
  bytes.resize(SectorSize(), 0);
  fresh_[sector] = std::move(bytes);
  return Outcome::Success();
}

Outcome CompoundFile::State::CommitPlan::FreshUnit(bool mini, std::vector<std::uint8_t> bytes, std::uint32_t& unit) {
  if (!mini) return FreshSector(std::move(bytes), unit);
  if (Outcome taken = TakeMiniUnit(unit); !taken) return taken;
  bytes.resize(kMiniSectorSize, 0);
  freshMiniUnits_[unit] = std::move(bytes);
  return Outcome::Success();
}

// --- 1. the edited streams ---

Outcome CompoundFile::State::CommitPlan::PlanEdits(const StreamEdits& edits) {
  std::map<EntryId, StreamChange> changes;
  for (const StreamEdits::Edit& edit : edits.Edits()) {
    if (edit.kind == StreamEdits::Kind::Create) continue;
    if (!old_.IsStreamEntry(edit.entry)) return Refused(FailureKind::InvalidValue, EntryName(edit.entry) + " is not a stream");
    auto [at, added] = changes.try_emplace(edit.entry);
    StreamChange& change = at->second;
    if (added) change.size = old_.dir.Size(edit.entry, old_.version3);
    if (edit.kind == StreamEdits::Kind::Replace) {
      change = StreamChange{};
      change.size = edit.bytes.size();
      change.content = &edit.bytes;
      continue;
    }
    if (edit.offset > change.size || edit.bytes.size() > change.size - edit.offset) {
      return Refused(FailureKind::InvalidValue, "a patch of " + std::to_string(edit.bytes.size()) + " bytes at " +
                                                    std::to_string(edit.offset) + " runs past the end of " +
                                                    EntryName(edit.entry));
    }
    if (change.content != nullptr) {
      // Patches after a Replace land in a copy of the new content.
      if (change.patched.empty()) change.patched = *change.content;
      std::copy(edit.bytes.begin(), edit.bytes.end(), change.patched.begin() + static_cast<std::ptrdiff_t>(edit.offset));
    } else {
      change.patches.emplace_back(edit.offset, &edit.bytes);
    }
  }
  for (auto& [id, change] : changes) {
    if (!change.patched.empty()) change.content = &change.patched;
    if (Outcome planned = PlanStream(id, change); !planned) return planned;
  }

  for (const StreamEdits::Edit& edit : edits.Edits()) {
    if (edit.kind != StreamEdits::Kind::Create) continue;
    const EntryId storage = edit.entry;
    const bool isStorage = dir_.Contains(storage) && storage < old_.reachable.size() && old_.reachable[storage] &&
                           (dir_.Type(storage) == kTypeStorage || dir_.Type(storage) == kTypeRoot);
    if (!isStorage) return Refused(FailureKind::InvalidValue, EntryName(storage) + " is not a storage");
    if (!NameAllowed(edit.name)) {
      return Refused(FailureKind::InvalidValue, "a new stream's name must be 1 to 31 characters without / \\ : !");
    }
    if (dir_.FindChild(storage, edit.name)) {
      return Refused(FailureKind::InvalidValue, "a stream or storage of that name exists in " + EntryName(storage));
    }
    EntryId slot = 1;
    while (slot < dir_.Count() && dir_.Type(slot) != kTypeUnused) ++slot;
    if (slot == dir_.Count()) dir_.AppendUnused(SectorSize() / static_cast<std::uint32_t>(kDirEntrySize));
    dir_.InitStream(slot, edit.name, kEndOfChain, 0);
    if (!dir_.InsertChild(storage, slot)) {
      return Refused(FailureKind::Damaged, "the tree of " + EntryName(storage) + " cannot be walked");
    }
    created_.push_back(slot);
    StreamChange change;
    change.size = edit.bytes.size();
    change.content = &edit.bytes;
    if (Outcome planned = PlanStream(slot, change); !planned) return planned;
  }
  return Outcome::Success();
}

Outcome CompoundFile::State::CommitPlan::PlanStream(EntryId id, const StreamChange& change) {
  if (old_.version3 && change.size > UINT32_MAX) {
    return Refused(FailureKind::Unsupported, EntryName(id) + " would reach 4 GiB, more than a version 3 file holds");
  }
  // The created entries have no old content: size 0, no chain.
  const bool existed = std::find(created_.begin(), created_.end(), id) == created_.end();
  std::optional<StreamLayout> old = existed ? old_.Layout(id) : StreamLayout{};
  if (!old) return Refused(FailureKind::Damaged, "the chain of " + EntryName(id) + " cannot be followed");
  std::vector<std::uint32_t> oldChain;
  if (old->size > 0) {
    std::optional<std::vector<std::uint32_t>> whole = old_.WholeChain(old->mini, old_.dir.Start(id));
    if (!whole) return Refused(FailureKind::Damaged, "the chain of " + EntryName(id) + " cannot be followed");
    oldChain = std::move(*whole);
  }

  const bool mini = change.size > 0 && change.size < kMiniStreamCutoff;
  const std::uint32_t unitShift = mini ? kMiniSectorShift : old_.shift;
  const std::uint64_t unitSize = std::uint64_t{1} << unitShift;
  const std::uint64_t units = UnitsFor(change.size, unitShift);
  // Unit i may stay in place only when the stream keeps its kind of unit and has that unit.
  const bool sameKind = old->size > 0 && change.size > 0 && old->mini == mini;
  std::vector<std::uint32_t> chain(static_cast<std::size_t>(units), 0);
  for (std::size_t i = 0; sameKind && i < chain.size() && i < old->units.size(); ++i) chain[i] = old->units[i];

  if (change.content != nullptr) {
    const std::vector<std::uint8_t>& content = *change.content;
    std::optional<std::vector<std::uint8_t>> oldBytes;
    if (sameKind) {
      Result<std::vector<std::uint8_t>> read = old_.ReadLayout(*old);
      if (!read) return read.outcome().Within(EntryName(id));
      oldBytes = std::move(*read);
    }
    for (std::size_t i = 0; i < chain.size(); ++i) {
      const std::uint64_t begin = i * unitSize;
      const std::uint64_t end = std::min(begin + unitSize, change.size);
      const auto first = content.begin() + static_cast<std::ptrdiff_t>(begin);
      const auto last = content.begin() + static_cast<std::ptrdiff_t>(end);
      if (oldBytes && i < old->units.size() && end <= oldBytes->size() &&
          std::equal(first, last, oldBytes->begin() + static_cast<std::ptrdiff_t>(begin))) {
        continue;  // unchanged: stays where it is
      }
      if (Outcome placed = FreshUnit(mini, std::vector<std::uint8_t>(first, last), chain[i]); !placed) return placed;
    }
  } else {
    // Patches alone: only the units they touch are read, patched and compared.
    std::set<std::uint64_t> touched;
    for (const auto& [offset, bytes] : change.patches) {
      if (bytes->empty()) continue;
      for (std::uint64_t u = offset >> unitShift; u <= (offset + bytes->size() - 1) >> unitShift; ++u) touched.insert(u);
    }
    for (std::uint64_t i : touched) {
      const std::uint64_t begin = i * unitSize;
      const auto length = static_cast<std::size_t>(std::min(unitSize, change.size - begin));
      std::vector<std::uint8_t> before(length);
      if (Outcome read = old_.ReadAt(old_.UnitOffset(mini, old->units[static_cast<std::size_t>(i)]), before.data(), length);
          !read) {
        return read.Within(EntryName(id));
      }
      std::vector<std::uint8_t> after = before;
      for (const auto& [offset, bytes] : change.patches) {
        const std::uint64_t from = std::max(offset, begin);
        const std::uint64_t to = std::min(offset + bytes->size(), begin + length);
        if (from >= to) continue;
        std::copy_n(bytes->begin() + static_cast<std::ptrdiff_t>(from - offset), to - from,
                    after.begin() + static_cast<std::ptrdiff_t>(from - begin));
      }
      if (after == before) continue;
      if (Outcome placed = FreshUnit(mini, std::move(after), chain[static_cast<std::size_t>(i)]); !placed) return placed;
    }
  }

  if (chain == old->units && mini == old->mini && change.size == old->size && oldChain.size() == chain.size()) {
    return Outcome::Success();  // not one byte differs
  }
  if (old->size > 0) Relink(old->mini ? miniFat_ : fat_, oldChain, {});
  Relink(mini ? miniFat_ : fat_, {}, chain);
  dir_.SetStart(id, chain.empty() ? kEndOfChain : chain[0]);
  if (dir_.Size(id, old_.version3) != change.size) dir_.SetSize(id, change.size);
  return Outcome::Success();
}

// --- 2. the mini stream ---

Outcome CompoundFile::State::CommitPlan::PlanMiniStream() {
  miniStreamSize_ = old_.dir.Size(kRootEntry, old_.version3);
  if (freshMiniUnits_.empty()) return Outcome::Success();
  const std::uint64_t highest = freshMiniUnits_.rbegin()->first;
  miniStreamSize_ = std::max(miniStreamSize_, (highest + 1) << kMiniSectorShift);
  const std::size_t oldCount = rootSectors_.size();
  const std::size_t count = std::max<std::size_t>(oldCount, static_cast<std::size_t>(UnitsFor(miniStreamSize_, old_.shift)));
  const std::uint32_t unitsPerSector = SectorSize() >> kMiniSectorShift;

  std::vector<std::uint32_t> chain = rootSectors_;
  chain.resize(count, 0);
  auto unit = freshMiniUnits_.begin();
  for (std::size_t k = 0; k < count; ++k) {
    const bool receives = unit != freshMiniUnits_.end() && unit->first / unitsPerSector == k;
    if (k < oldCount && !receives) continue;
    std::vector<std::uint8_t> bytes(SectorSize(), 0);
    if (k < oldCount) {
      if (Outcome read = old_.ReadSector(rootSectors_[k], bytes.data()); !read) return read.Within("the mini stream");
    }
    for (; unit != freshMiniUnits_.end() && unit->first / unitsPerSector == k; ++unit) {
      std::copy(unit->second.begin(), unit->second.end(),
                bytes.begin() + static_cast<std::ptrdiff_t>((unit->first % unitsPerSector) << kMiniSectorShift));
    }
    if (Outcome taken = FreshSector(std::move(bytes), chain[k]); !taken) return taken;
  }
  Relink(fat_, rootSectors_, chain);
  rootSectors_ = std::move(chain);
  dir_.SetStart(kRootEntry, rootSectors_[0]);
  if (miniStreamSize_ != old_.dir.Size(kRootEntry, old_.version3)) dir_.SetSize(kRootEntry, miniStreamSize_);
  return Outcome::Success();
}

// --- 3. the mini FAT and the directory ---

Outcome CompoundFile::State::CommitPlan::ShadowChangedSectors(
    std::vector<std::uint32_t>& chain, std::size_t oldCount,
    const std::function<std::vector<std::uint8_t>(std::size_t)>& newSector,
    const std::function<bool(std::size_t)>& changed) {
  std::vector<std::uint32_t> next = chain;
  bool moved = false;
  for (std::size_t k = 0; k < next.size(); ++k) {
    if (k < oldCount && !changed(k)) continue;
    moved = true;
    if (Outcome taken = FreshSector(newSector(k), next[k]); !taken) return taken;
  }
  if (!moved) return Outcome::Success();
  Relink(fat_, std::vector<std::uint32_t>(chain.begin(), chain.begin() + static_cast<std::ptrdiff_t>(oldCount)), next);
  chain = std::move(next);
  return Outcome::Success();
}

Outcome CompoundFile::State::CommitPlan::PlanMiniFat() {
  // The mini FAT covers every used unit and the whole mini stream (readers check the latter).
  std::size_t entries = std::max<std::size_t>(old_.miniFat.size(), static_cast<std::size_t>(UnitsFor(miniStreamSize_, kMiniSectorShift)));
  for (std::size_t u = miniFat_.Size(); u > entries; --u) {
    if (miniFat_[u - 1] != kFreeSect) {
      entries = u;
      break;
    }
  }
  const std::size_t per = EntriesPerSector();
  const std::size_t oldCount = miniFatSectors_.size();
  const std::size_t count = std::max(oldCount, (entries + per - 1) / per);
  miniFatSectors_.resize(count, 0);
  Outcome shadowed = ShadowChangedSectors(
      miniFatSectors_, oldCount, [&](std::size_t k) { return miniFat_.SectorBytes(k); },
      [&](std::size_t k) { return miniFat_.Changed(k); });
  if (!shadowed) return shadowed;
  Put32(header_.data() + kHdrFirstMiniFatSector, miniFatSectors_.empty() ? kEndOfChain : miniFatSectors_[0]);
  Put32(header_.data() + kHdrMiniFatSectorCount, static_cast<std::uint32_t>(miniFatSectors_.size()));
  return Outcome::Success();
}

Outcome CompoundFile::State::CommitPlan::PlanDirectory() {
  const auto per = static_cast<std::uint32_t>(SectorSize() / kDirEntrySize);
  const std::size_t oldCount = dirSectors_.size();
  dirSectors_.resize(dir_.Count() / per, 0);
  Outcome shadowed = ShadowChangedSectors(
      dirSectors_, oldCount, [&](std::size_t k) { return dir_.EntryBytes(static_cast<std::uint32_t>(k) * per, per); },
      [&](std::size_t k) { return dir_.Changed(static_cast<std::uint32_t>(k) * per, per); });
  if (!shadowed) return shadowed;
  Put32(header_.data() + kHdrFirstDirSector, dirSectors_[0]);
  if (!old_.version3) Put32(header_.data() + kHdrDirSectorCount, static_cast<std::uint32_t>(dirSectors_.size()));
  return Outcome::Success();
}

// --- 4. the FAT and the DIFAT, until nothing moves ---

Outcome CompoundFile::State::CommitPlan::PlanFat() {
  const std::size_t per = EntriesPerSector();
  const std::size_t oldCount = old_.fatSectors.size();
  bool difatFresh = false;
  for (bool moved = true; moved;) {
    moved = false;
    // Enough FAT sectors to cover the highest sector in use (never fewer than before).
    std::size_t highest = fat_.Size();
    while (highest > 0 && fat_[highest - 1] == kFreeSect) --highest;
    const std::size_t needed = std::max(oldCount, (highest + per - 1) / per);
    if (fatSectors_.size() < needed) {
      std::uint32_t sector = 0;
      if (Outcome taken = TakeSector(sector); !taken) return taken;
      fat_.Set(sector, kFatSect);
      fatSectors_.push_back(sector);
      moved = true;
      continue;
    }
    for (std::size_t k = 0; k < oldCount; ++k) {
      if (fatSectors_[k] != old_.fatSectors[k] || !fat_.Changed(k)) continue;
      std::uint32_t sector = 0;
      if (Outcome taken = TakeSector(sector); !taken) return taken;
      fat_.Set(sector, kFatSect);
      fat_.Set(fatSectors_[k], kFreeSect);
      fatSectors_[k] = sector;
      moved = true;
    }
    if (moved) continue;
    // FAT sector numbers past the header's 109 live in the DIFAT chain.
    auto inDifat = [](const std::vector<std::uint32_t>& sectors) {
      return std::span(sectors).subspan(std::min(sectors.size(), kHeaderDifatEntries));
    };
    const std::size_t difatNeeded = DifatSectorsFor(fatSectors_.size(), per);
    const bool difatSame = difatNeeded == old_.difatSectors.size() &&
                           std::ranges::equal(inDifat(fatSectors_), inDifat(old_.fatSectors));
    if (difatSame && !difatFresh) continue;
    if (!difatFresh) {
      for (std::uint32_t sector : difatSectors_) fat_.Set(sector, kFreeSect);
      difatSectors_.clear();
      difatFresh = true;
      moved = true;
    }
    while (difatSectors_.size() < difatNeeded) {
      std::uint32_t sector = 0;
      if (Outcome taken = TakeSector(sector); !taken) return taken;
      fat_.Set(sector, kDifSect);
      difatSectors_.push_back(sector);
      moved = true;
    }
  }

  // The fixpoint holds: write what moved.
  for (std::size_t k = 0; k < fatSectors_.size(); ++k) {
    if (k < oldCount && fatSectors_[k] == old_.fatSectors[k]) continue;
    fresh_[fatSectors_[k]] = fat_.SectorBytes(k);
  }
  if (difatFresh) {
    for (std::size_t d = 0; d < difatSectors_.size(); ++d) {
      std::vector<std::uint8_t> bytes(SectorSize());
      for (std::size_t i = 0; i + 1 < per; ++i) {
        const std::size_t index = kHeaderDifatEntries + d * (per - 1) + i;
        Put32(bytes.data() + 4 * i, index < fatSectors_.size() ? fatSectors_[index] : kFreeSect);
      }
      Put32(bytes.data() + SectorSize() - 4, d + 1 < difatSectors_.size() ? difatSectors_[d + 1] : kEndOfChain);
      fresh_[difatSectors_[d]] = std::move(bytes);
    }
  }
  return Outcome::Success();
}

void CompoundFile::State::CommitPlan::PlanHeader() {
  Put32(header_.data() + kHdrFatSectorCount, static_cast<std::uint32_t>(fatSectors_.size()));
  for (std::size_t i = 0; i < std::min(fatSectors_.size(), kHeaderDifatEntries); ++i) {
    Put32(header_.data() + kHdrDifat + 4 * i, fatSectors_[i]);
  }
  Put32(header_.data() + kHdrFirstDifatSector, difatSectors_.empty() ? kEndOfChain : difatSectors_[0]);
  Put32(header_.data() + kHdrDifatSectorCount, static_cast<std::uint32_t>(difatSectors_.size()));
}

// --- writing ---

Outcome CompoundFile::State::CommitPlan::Write(State& s) const {
  auto fail = [&s](Outcome failed) {
    s.broken = true;
    return failed;
  };
  // Before the header write the old file is whole: the free sectors it had get their old bytes
  // back and what grew past its end goes again (best effort), so a failed write leaves every byte.
  const std::uint64_t oldSize = s.fileSize;
  std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> overwritten;
  auto failBeforeSwitch = [&](Outcome failed) {
    for (const auto& [offset, bytes] : overwritten) (void)s.file->WriteAt(offset, bytes.data(), bytes.size());
    if (s.file->Truncate(oldSize)) s.fileSize = oldSize;
    return fail(std::move(failed));
  };
  std::vector<std::uint8_t> run;
  for (auto it = fresh_.begin(); it != fresh_.end();) {
    const std::uint32_t first = it->first;
    run.clear();
    std::uint32_t next = first;
    for (; it != fresh_.end() && it->first == next; ++it, ++next) run.insert(run.end(), it->second.begin(), it->second.end());
    const std::uint64_t offset = s.SectorOffset(first);
    if (offset < oldSize) {
      std::vector<std::uint8_t> old(static_cast<std::size_t>(std::min<std::uint64_t>(run.size(), oldSize - offset)));
      if (Outcome read = s.ReadAt(offset, old.data(), old.size()); !read) return failBeforeSwitch(read);
      overwritten.emplace_back(offset, std::move(old));
    }
    if (Outcome written = s.WriteAt(offset, run.data(), run.size()); !written) return failBeforeSwitch(written);
    s.fileSize = std::max(s.fileSize, offset + run.size());
  }
  if (Outcome synced = s.file->Sync(); !synced) return failBeforeSwitch(synced);
  if (Outcome written = s.WriteAt(0, header_.data(), header_.size()); !written) return fail(written);
  if (Outcome synced = s.file->Sync(); !synced) return fail(synced);
  return Outcome::Success();
}

// Freed sectors and mini sectors still hold old bytes, a removed author or comment among them, for
// any reader of the raw file to find. Best effort and unsynced: the file is whole either way.
void CompoundFile::State::CommitPlan::Scrub(State& s) const {
  std::vector<std::uint8_t> zeros;
  const auto wipe = [&](std::uint64_t offset, std::size_t n) {
    if (offset + n > s.fileSize) return;
    if (zeros.size() < n) zeros.resize(n, 0);
    (void)s.WriteAt(offset, zeros.data(), n);
  };
  const auto freed = [](std::uint32_t before, std::uint32_t after) { return before != kFreeSect && after == kFreeSect; };
  // Neighbouring sectors in one write.
  for (std::size_t i = 0; i < old_.fat.size();) {
    std::size_t end = i;
    while (end < old_.fat.size() && freed(old_.fat[end], fat_[end])) ++end;
    if (end > i) wipe(s.SectorOffset(static_cast<std::uint32_t>(i)), (end - i) * SectorSize());
    i = std::max(end, i + 1);
  }
  const std::uint32_t unitsPerSector = SectorSize() >> kMiniSectorShift;
  const std::uint64_t miniUnits = miniStreamSize_ >> kMiniSectorShift;
  // Neighbouring mini sectors of one sector in one write, too.
  const std::size_t lastUnit = std::min<std::size_t>(old_.miniFat.size(), miniUnits);
  for (std::size_t i = 0; i < lastUnit;) {
    std::size_t end = i;
    while (end < lastUnit && end / unitsPerSector == i / unitsPerSector && end / unitsPerSector < rootSectors_.size() &&
           freed(old_.miniFat[end], miniFat_[end])) {
      ++end;
    }
    if (end > i) {
      const std::uint64_t sector = s.SectorOffset(rootSectors_[i / unitsPerSector]);
      wipe(sector + ((i % unitsPerSector) << kMiniSectorShift), (end - i) << kMiniSectorShift);
    }
    i = std::max(end, i + 1);
  }
}

void CompoundFile::State::CommitPlan::Adopt(State& s) {
  s.header = header_;
  fat_.ApplyTo(s.fat);
  s.fatSectors = std::move(fatSectors_);
  s.difatSectors = std::move(difatSectors_);
  miniFat_.ApplyTo(s.miniFat);
  s.miniFatSectors = std::move(miniFatSectors_);
  s.dir.Apply(dir_);
  s.dirSectors = std::move(dirSectors_);
  s.rootSectors = std::move(rootSectors_);
  s.miniStreamUsable = true;
  s.reachable.resize(s.dir.Count(), false);
  for (EntryId id : created_) s.reachable[id] = true;
}

Outcome CompoundFile::State::Commit(const StreamEdits& edits) {
  if (!writable) return Refused(FailureKind::ReadOnly, "the compound file is open for reading only");
  if (broken) return Refused(FailureKind::Io, "an earlier write to the compound file failed; open it again");
  CommitPlan plan(*this);
  if (Outcome planned = plan.PlanEdits(edits); !planned) return planned;
  if (Outcome planned = plan.PlanMiniStream(); !planned) return planned;
  if (Outcome planned = plan.PlanMiniFat(); !planned) return planned;
  if (Outcome planned = plan.PlanDirectory(); !planned) return planned;
  if (Outcome planned = plan.PlanFat(); !planned) return planned;
  plan.PlanHeader();
  if (plan.WritesNothing()) return Outcome::Success();
  if (Outcome written = plan.Write(*this); !written) return written;
  plan.Scrub(*this);
  plan.Adopt(*this);
  return Outcome::Success();
}

Outcome CompoundFile::Commit(const StreamEdits& edits) { return state_->Commit(edits); }

}  // namespace kestrel::storage
