#include "platform/storage/CfbDirectory.h"

#include <algorithm>
#include <clocale>
#include <cwctype>

#include <locale.h>

namespace kestrel::storage::cfb {

namespace {

// towupper in a fixed locale, so the program's own locale cannot change the order of names.
char16_t UpperUnit(char16_t unit) {
  if (unit < 0x80) return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - 0x20) : unit;
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  if (utf8 == nullptr || (unit >= 0xD800 && unit <= 0xDFFF)) return unit;
  wint_t upper = towupper_l(static_cast<wint_t>(unit), utf8);
  return upper <= 0xFFFF ? static_cast<char16_t>(upper) : unit;
}

}  // namespace

int CompareNames(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;  // equal units need no case mapping, and most are equal
    char16_t x = UpperUnit(a[i]);
    char16_t y = UpperUnit(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

Directory Directory::EditOf(const Directory& base) {
  Directory edit;
  edit.count_ = base.count_;
  edit.base_ = &base;
  return edit;
}

const std::uint8_t* Directory::At(std::uint32_t id) const {
  if (base_ == nullptr) return bytes_.data() + std::size_t{id} * kDirEntrySize;
  const auto edited = edited_.find(id);
  return edited != edited_.end() ? edited->second.data() : base_->At(id);
}

std::uint8_t* Directory::At(std::uint32_t id) {
  if (base_ == nullptr) return bytes_.data() + std::size_t{id} * kDirEntrySize;
  auto [edited, added] = edited_.try_emplace(id);
  if (added) {
    if (base_->Contains(id)) {
      std::copy_n(base_->At(id), kDirEntrySize, edited->second.begin());
    } else {
      edited->second.fill(0);
    }
  }
  return edited->second.data();
}

std::vector<std::uint8_t> Directory::EntryBytes(std::uint32_t first, std::uint32_t count) const {
  std::vector<std::uint8_t> bytes(std::size_t{count} * kDirEntrySize);
  for (std::uint32_t i = 0; i < count; ++i) std::copy_n(At(first + i), kDirEntrySize, bytes.begin() + i * kDirEntrySize);
  return bytes;
}

bool Directory::Changed(std::uint32_t first, std::uint32_t count) const {
  for (auto edited = edited_.lower_bound(first); edited != edited_.end() && edited->first - first < count; ++edited) {
    if (!base_->Contains(edited->first) || !std::equal(edited->second.begin(), edited->second.end(), base_->At(edited->first))) {
      return true;
    }
  }
  return false;
}

void Directory::Apply(const Directory& edit) {
  count_ = edit.count_;
  bytes_.resize(std::size_t{count_} * kDirEntrySize, 0);
  for (const auto& [id, entry] : edit.edited_) std::copy(entry.begin(), entry.end(), At(id));
}

std::optional<std::u16string_view> Directory::NameIn(std::uint32_t id, NameBuffer& buffer) const {
  const std::uint8_t* entry = At(id);
  std::uint16_t bytes = Get16(entry + kDirNameLength);
  if (!NameLengthValid(bytes)) return std::nullopt;
  std::size_t units = 0;
  for (std::size_t i = 0; i + 2 < bytes; i += 2) buffer[units++] = static_cast<char16_t>(Get16(entry + kDirName + i));
  return std::u16string_view(buffer.data(), units);
}

std::optional<std::u16string> Directory::Name(std::uint32_t id) const {
  NameBuffer buffer;
  std::optional<std::u16string_view> name = NameIn(id, buffer);
  if (!name) return std::nullopt;
  return std::u16string(*name);
}

void Directory::InitStream(std::uint32_t id, std::u16string_view name, std::uint32_t start, std::uint64_t size) {
  std::uint8_t* entry = At(id);
  std::fill(entry, entry + kDirEntrySize, 0);
  for (std::size_t i = 0; i < name.size(); ++i) Put16(entry + kDirName + 2 * i, name[i]);
  Put16(entry + kDirNameLength, static_cast<std::uint16_t>(2 * (name.size() + 1)));
  entry[kDirType] = kTypeStream;
  entry[kDirColor] = kRed;
  SetLeft(id, kNoStream);
  SetRight(id, kNoStream);
  SetChild(id, kNoStream);
  SetStart(id, start);
  SetSize(id, size);
}

void Directory::AppendUnused(std::uint32_t count) {
  std::uint32_t first = Count();
  count_ += count;
  if (base_ == nullptr) bytes_.resize(std::size_t{count_} * kDirEntrySize, 0);
  for (std::uint32_t id = first; id < first + count; ++id) {
    SetLeft(id, kNoStream);
    SetRight(id, kNoStream);
    SetChild(id, kNoStream);
  }
}

std::optional<std::uint32_t> Directory::FindChild(std::uint32_t storage, std::u16string_view name) const {
  if (!Contains(storage)) return std::nullopt;
  const std::uint32_t count = Count();

  NameBuffer buffer;

  // The ordered walk takes at most `count` steps, so a cycle ends it; a longer walk would only
  // repeat entries already compared.
  std::uint32_t node = Child(storage);
  for (std::uint32_t step = 0; step < count && Contains(node); ++step) {
    std::optional<std::u16string_view> nodeName = NameIn(node, buffer);
    if (!nodeName) break;
    int order = CompareNames(name, *nodeName);
    if (order == 0) return node;
    node = order < 0 ? Left(node) : Right(node);
  }

  // Unsorted trees: every sibling, each visited once.
  std::vector<bool> seen(count, false);
  std::vector<std::uint32_t> pending{Child(storage)};
  while (!pending.empty()) {
    node = pending.back();
    pending.pop_back();
    if (!Contains(node) || seen[node]) continue;
    seen[node] = true;
    std::optional<std::u16string_view> nodeName = NameIn(node, buffer);
    if (nodeName && CompareNames(name, *nodeName) == 0) return node;
    pending.push_back(Left(node));
    pending.push_back(Right(node));
  }
  return std::nullopt;
}

void Directory::Relink(std::optional<std::uint32_t> parent, std::uint32_t storage, std::uint32_t from,
                       std::uint32_t to) {
  if (!parent) {
    SetChild(storage, to);
  } else if (Left(*parent) == from) {
    SetLeft(*parent, to);
  } else {
    SetRight(*parent, to);
  }
}

bool Directory::InsertChild(std::uint32_t storage, std::uint32_t entry) {
  NameBuffer entryBuffer;
  NameBuffer nodeBuffer;
  std::optional<std::u16string_view> name = NameIn(entry, entryBuffer);
  if (!Contains(storage) || !name) return false;

  // Path from the tree's root down to the new leaf's parent.
  std::vector<std::uint32_t> path;
  std::vector<bool> seen(Count(), false);
  std::uint32_t node = Child(storage);
  bool goLeft = false;
  while (node != kNoStream) {
    if (!Contains(node) || seen[node]) return false;
    seen[node] = true;
    std::optional<std::u16string_view> nodeName = NameIn(node, nodeBuffer);
    if (!nodeName) return false;
    path.push_back(node);
    goLeft = CompareNames(*name, *nodeName) < 0;
    node = goLeft ? Left(node) : Right(node);
  }
  SetLeft(entry, kNoStream);
  SetRight(entry, kNoStream);
  SetColor(entry, kRed);
  if (path.empty()) {
    SetChild(storage, entry);
  } else if (goLeft) {
    SetLeft(path.back(), entry);
  } else {
    SetRight(path.back(), entry);
  }
  path.push_back(entry);

  // path[i] is the current node, path[i-1] its parent, path[i-2] its grandparent.
  std::size_t i = path.size() - 1;
  while (i >= 2 && IsRed(path[i - 1])) {
    const std::uint32_t current = path[i];
    const std::uint32_t parent = path[i - 1];
    const std::uint32_t grand = path[i - 2];
    const bool parentIsLeft = Left(grand) == parent;
    const std::uint32_t uncle = parentIsLeft ? Right(grand) : Left(grand);
    if (IsRed(uncle)) {
      SetColor(parent, kBlack);
      SetColor(uncle, kBlack);
      SetColor(grand, kRed);
      i -= 2;
      continue;
    }
    // `top` ends up in the grandparent's place: the parent, or the current node when it is an
    // inner grandchild (which first takes the parent's place by a rotation).
    std::uint32_t top = parent;
    if (parentIsLeft && Right(parent) == current) {
      SetRight(parent, Left(current));
      SetLeft(current, parent);
      SetLeft(grand, current);
      top = current;
    } else if (!parentIsLeft && Left(parent) == current) {
      SetLeft(parent, Right(current));
      SetRight(current, parent);
      SetRight(grand, current);
      top = current;
    }
    std::optional<std::uint32_t> above = i >= 3 ? std::optional<std::uint32_t>(path[i - 3]) : std::nullopt;
    if (parentIsLeft) {
      SetLeft(grand, Right(top));
      SetRight(top, grand);
    } else {
      SetRight(grand, Left(top));
      SetLeft(top, grand);
    }
    Relink(above, storage, grand, top);
    SetColor(top, kBlack);
    SetColor(grand, kRed);
    break;
  }
  SetColor(Child(storage), kBlack);
  return true;
}

}  // namespace kestrel::storage::cfb
