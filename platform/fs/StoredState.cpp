#include "platform/fs/StoredState.h"

#include <algorithm>
#include <array>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include "platform/fs/ExtendedAttribute.h"

namespace kestrel::fs {

namespace {

// statfs f_type of the file systems that keep user extended attributes and Unix permission
// bits as the Generic backend needs them.
constexpr std::array<std::uint32_t, 10> kGenericFileSystems = {
    0xEF53,      // ext2, ext3, ext4
    0x58465342,  // xfs
    0x9123683E,  // btrfs
    0x01021994,  // tmpfs
    0xF2F52010,  // f2fs
    0x3153464A,  // jfs
    0x52654973,  // reiserfs
    0x2FC12FC1,  // zfs
    0xCA451A4E,  // bcachefs
    0x794C7630,  // overlayfs (containers)
};
constexpr std::uint32_t kNtfs3FileSystem = 0x7366746E;
// FUSE hides what it serves; ntfs-3g shows itself by answering its own attribute.
constexpr std::uint32_t kFuseFileSystem = 0x65735546;

Timestamp TimestampOfStatx(const struct statx_timestamp& time) { return {time.tv_sec, time.tv_nsec}; }

template <typename T>
std::optional<T> BigEndian(const ExtendedAttribute& attribute) {
  if (attribute.lookup != AttributeLookup::Present || attribute.value.size() != sizeof(T)) return std::nullopt;
  T value = 0;
  for (const std::uint8_t byte : attribute.value) value = static_cast<T>((value << 8) | byte);
  return value;
}

// Fills in the backend and what it keeps; false when the file cannot be asked. `file` is a path or
// an open descriptor.
template <typename File>
bool ReadBackendStore(const File& file, std::uint32_t fileSystem, StoredState& state) {
  if (std::find(kGenericFileSystems.begin(), kGenericFileSystems.end(), fileSystem) != kGenericFileSystems.end()) {
    ExtendedAttribute blob = ReadExtendedAttribute(file, permission::kDosAttribName);
    switch (blob.lookup) {
      case AttributeLookup::Present:
        state.dosAttrib = std::move(blob.value);
        [[fallthrough]];
      case AttributeLookup::Absent:
        state.backend = Backend::Generic;
        return true;
      case AttributeLookup::Unsupported:  // mounted without user attributes
        state.backend = Backend::Fallback;
        return true;
      case AttributeLookup::Failed:
        return false;
    }
  }
  if (fileSystem == kNtfs3FileSystem || fileSystem == kFuseFileSystem) {
    const ExtendedAttribute attrib = ReadExtendedAttribute(file, ntfs::kAttribName);
    if (attrib.lookup == AttributeLookup::Failed) return false;
    const std::optional<std::uint32_t> word = BigEndian<std::uint32_t>(attrib);
    if (!word) {  // another FUSE file system, or an NTFS driver without the attribute
      state.backend = Backend::Fallback;
      return true;
    }
    state.ntfsAttributes = *word;
    if (fileSystem == kNtfs3FileSystem) {
      state.backend = Backend::NtfsKernel;
      return true;
    }
    state.backend = Backend::NtfsFuse;
    const ExtendedAttribute creation = ReadExtendedAttribute(file, ntfs::kCreationName);
    if (creation.lookup == AttributeLookup::Failed) return false;
    state.ntfsCreation = BigEndian<std::uint64_t>(creation);
    return true;
  }
  state.backend = Backend::Fallback;
  return true;
}

}  // namespace

bool KeepsPermissionBits(Backend backend) { return backend == Backend::Generic || backend == Backend::Fallback; }

std::uint32_t StoredState::AttributeWord() const {
  return KeepsPermissionBits(backend) ? permission::AttributeWord(*this) : ntfsAttributes;
}

Timestamp StoredState::Creation() const {
  return KeepsPermissionBits(backend) ? permission::Creation(*this) : ntfs::Creation(*this);
}

FileRecord StoredState::Record() const {
  FileRecord record;
  record.attributes = AttributeWord();
  record.times = {Creation(), lastWrite, lastAccess};
  record.backend = backend;
  record.mode = mode;
  record.dosAttrib = dosAttrib;
  record.owner = owner;
  record.group = group;
  record.systemBirth = birth.has_value();
  return record;
}

namespace {

// The state from what statx said, the file system's type and the backend's store on `file`.
template <typename File>
std::optional<StoredState> StateOf(const File& file, const struct statx& info, std::uint32_t fileSystem) {
  if (!S_ISREG(info.stx_mode)) return std::nullopt;
  StoredState state;
  state.mode = info.stx_mode & 07777;
  state.owner = info.stx_uid;
  state.group = info.stx_gid;
  state.lastAccess = TimestampOfStatx(info.stx_atime);
  state.lastWrite = TimestampOfStatx(info.stx_mtime);
  if ((info.stx_mask & STATX_BTIME) != 0) state.birth = TimestampOfStatx(info.stx_btime);
  if (!ReadBackendStore(file, fileSystem, state)) return std::nullopt;
  return state;
}

constexpr unsigned kStatxFields = STATX_BASIC_STATS | STATX_BTIME;

}  // namespace

std::optional<StoredState> ReadStoredState(const std::string& path) {
  struct statx info {};
  if (::statx(AT_FDCWD, path.c_str(), AT_STATX_SYNC_AS_STAT, kStatxFields, &info) != 0) return std::nullopt;
  if (!S_ISREG(info.stx_mode)) return std::nullopt;
  struct statfs fileSystem {};
  if (::statfs(path.c_str(), &fileSystem) != 0) return std::nullopt;
  return StateOf(path, info, static_cast<std::uint32_t>(fileSystem.f_type));
}

std::optional<StoredState> ReadStoredState(int descriptor) {
  struct statx info {};
  if (::statx(descriptor, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT, kStatxFields, &info) != 0) return std::nullopt;
  // A batch reads many files of one file system: its type is asked once per device and thread.
  thread_local std::optional<std::pair<std::uint64_t, std::uint32_t>> lastDevice;
  const std::uint64_t device = (std::uint64_t{info.stx_dev_major} << 32) | info.stx_dev_minor;
  if (!lastDevice || lastDevice->first != device) {
    struct statfs fileSystem {};
    if (::fstatfs(descriptor, &fileSystem) != 0) return std::nullopt;
    lastDevice.emplace(device, static_cast<std::uint32_t>(fileSystem.f_type));
  }
  return StateOf(descriptor, info, lastDevice->second);
}

Outcome WriteRecordedStore(const std::string& path, const StoredState& now, const FileRecord& record) {
  return KeepsPermissionBits(now.backend) ? permission::WriteRecordedStore(path, now, record)
                                          : ntfs::WriteRecordedStore(path, now, record);
}

CreationWrite WriteCreationTime(const std::string& path, const StoredState& now, time::FileTime creation) {
  return KeepsPermissionBits(now.backend) ? permission::WriteCreationTime(path, now, creation)
                                          : ntfs::WriteCreationTime(path, now, creation);
}

}  // namespace kestrel::fs
