#pragma once
// The directory of a compound file held in memory as the exact bytes of its sectors, with field
// access, name comparison, lookup in a storage's red-black tree and insertion into it. A commit
// changes an edit of it, which copies only the entries it changes. Nothing here trusts the
// bytes: ids are range-checked and every walk is bounded by the entry count.
// Nothing here throws except std::bad_alloc.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/storage/CfbFormat.h"

namespace kestrel::storage::cfb {

// <0, 0 or >0: shorter names first, then code unit by code unit after simple upper-casing.
int CompareNames(std::u16string_view a, std::u16string_view b);

class Directory {
 public:
  Directory() = default;
  explicit Directory(std::vector<std::uint8_t> bytes)
      : bytes_(std::move(bytes)), count_(static_cast<std::uint32_t>(bytes_.size() / kDirEntrySize)) {}
  // An edit of `base`, which must outlive it: an entry is copied when first changed, and the
  // others are read through `base`, so a commit does not hold a second directory.
  static Directory EditOf(const Directory& base);

  std::uint32_t Count() const { return count_; }
  bool Contains(std::uint32_t id) const { return EntryInRange(id, Count()); }
  // The bytes of `count` entries from `first`, as a directory sector holds them.
  std::vector<std::uint8_t> EntryBytes(std::uint32_t first, std::uint32_t count) const;
  // Of an edit: one of `count` entries from `first` differs from the base, or is new.
  bool Changed(std::uint32_t first, std::uint32_t count) const;
  // Takes the entries an edit of this directory changed and added.
  void Apply(const Directory& edit);

  // Field access; `id` must be Contains(id).
  std::uint8_t Type(std::uint32_t id) const { return At(id)[kDirType]; }
  std::uint8_t Color(std::uint32_t id) const { return At(id)[kDirColor]; }
  std::uint32_t Left(std::uint32_t id) const { return Get32(At(id) + kDirLeft); }
  std::uint32_t Right(std::uint32_t id) const { return Get32(At(id) + kDirRight); }
  std::uint32_t Child(std::uint32_t id) const { return Get32(At(id) + kDirChild); }
  std::uint32_t Start(std::uint32_t id) const { return Get32(At(id) + kDirStart); }
  // Version 3 files keep only 32 bits of size; the high half is left to chance by some writers.
  std::uint64_t Size(std::uint32_t id, bool version3) const {
    return version3 ? Get32(At(id) + kDirSize) : Get64(At(id) + kDirSize);
  }
  // nullopt when the stored length is impossible.
  std::optional<std::u16string> Name(std::uint32_t id) const;

  void SetColor(std::uint32_t id, std::uint8_t color) { At(id)[kDirColor] = color; }
  void SetLeft(std::uint32_t id, std::uint32_t v) { Put32(At(id) + kDirLeft, v); }
  void SetRight(std::uint32_t id, std::uint32_t v) { Put32(At(id) + kDirRight, v); }
  void SetChild(std::uint32_t id, std::uint32_t v) { Put32(At(id) + kDirChild, v); }
  void SetStart(std::uint32_t id, std::uint32_t v) { Put32(At(id) + kDirStart, v); }
  void SetSize(std::uint32_t id, std::uint64_t v) { Put64(At(id) + kDirSize, v); }
  // Makes `id` a fresh red stream entry without siblings; `name` must be 1..31 code units.
  void InitStream(std::uint32_t id, std::u16string_view name, std::uint32_t start, std::uint64_t size);
  // Appends `count` unused entries (type 0, no links), as a new directory sector holds them.
  void AppendUnused(std::uint32_t count);

  // The child of `storage` called `name` (compared case-insensitively): first by walking the
  // tree by name order, then, for writers that do not sort, by visiting every sibling.
  std::optional<std::uint32_t> FindChild(std::uint32_t storage, std::u16string_view name) const;

  // Links `entry` into the red-black tree of `storage` (insertion as a red leaf, then recolouring
  // and rotations; the storage's child pointer may change). False when the tree is too damaged
  // to walk, with nothing changed.
  bool InsertChild(std::uint32_t storage, std::uint32_t entry);

 private:
  // Holds the longest name a valid stored length allows.
  using NameBuffer = std::array<char16_t, kMaxNameUnits>;
  // Name without an allocation, decoded into `buffer`; nullopt when the stored length is impossible.
  std::optional<std::u16string_view> NameIn(std::uint32_t id, NameBuffer& buffer) const;

  const std::uint8_t* At(std::uint32_t id) const;
  std::uint8_t* At(std::uint32_t id);
  bool IsRed(std::uint32_t id) const { return Contains(id) && Color(id) == kRed; }
  // Replaces the link to `from` held by `parent` (a tree node) or, when there is no parent, the
  // storage's child pointer.
  void Relink(std::optional<std::uint32_t> parent, std::uint32_t storage, std::uint32_t from, std::uint32_t to);

  using Entry = std::array<std::uint8_t, kDirEntrySize>;
  std::vector<std::uint8_t> bytes_;  // every entry, or (in an edit) none
  std::uint32_t count_ = 0;
  const Directory* base_ = nullptr;  // set in an edit
  std::map<std::uint32_t, Entry> edited_;
};

}  // namespace kestrel::storage::cfb
