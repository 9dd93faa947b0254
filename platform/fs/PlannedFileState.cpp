#include "platform/fs/PlannedFileState.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "platform/fs/DosAttribBlob.h"
#include "platform/fs/LeftoverJournal.h"
#include "platform/fs/StoredState.h"

namespace kestrel::fs {

namespace {

constexpr std::uint32_t kAllWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr std::uint32_t kOtherThanReadOnly = kAttributeHidden | kAttributeSystem | kAttributeArchive;

std::string UserName(std::uint32_t id) {
  passwd entry {};
  passwd* found = nullptr;
  std::vector<char> buffer(4096);
  if (::getpwuid_r(id, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) return found->pw_name;
  return "user " + std::to_string(id);
}

std::string GroupName(std::uint32_t id) {
  group entry {};
  group* found = nullptr;
  std::vector<char> buffer(4096);
  if (::getgrgid_r(id, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) return found->gr_name;
  return "group " + std::to_string(id);
}

bool InGroup(std::uint32_t id) {
  if (::getegid() == id) return true;
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
  const int count = ::getgroups(static_cast<int>(groups.size()), groups.data());
  return count > 0 && std::find(groups.begin(), groups.begin() + count, id) != groups.begin() + count;
}

Outcome Refused(FailureKind kind, std::string why) { return Outcome::Failure(kind, std::move(why)); }

// The blob and permission bits of Generic and Fallback, from the word and creation time asked for.
Outcome PlanPermissionStore(const FileRecord& now, std::uint32_t attributes, bool creationChanges, FileRecord& wanted) {
  if ((attributes & kAttributeReadOnly) != 0) {
    wanted.mode &= ~kAllWriteBits;
  } else if ((now.mode & S_IWUSR) == 0) {
    wanted.mode |= S_IWUSR;
  }
  const bool bitsChange = (attributes & kFourAttributes) != (now.attributes & kFourAttributes);
  if (now.backend == Backend::Fallback) {
    if ((attributes & kOtherThanReadOnly) != 0) {
      return Refused(FailureKind::Unsupported, "its file system cannot store the hidden, system or archive bit");
    }
    return Outcome::Success();
  }
  // A file that never had hidden, system or archive keeps no blob: its mode carries read-only.
  const bool needsBlob = now.dosAttrib || (attributes & kOtherThanReadOnly) != 0 || creationChanges;
  if (!needsBlob || (now.dosAttrib && !bitsChange && !creationChanges)) return Outcome::Success();
  std::optional<std::span<const std::uint8_t>> existing;
  std::uint32_t otherBits = 0;
  if (now.dosAttrib) {
    existing = std::span<const std::uint8_t>(*now.dosAttrib);
    if (const auto blob = ParseDosAttribBlob(*existing)) otherBits = blob->attributes & ~kFourAttributes;
  }
  wanted.dosAttrib = UpdateDosAttribBlob(existing, otherBits | (attributes & kFourAttributes),
                                         creationChanges ? std::optional(FileTimeOf(wanted.times.creation)) : std::nullopt);
  return Outcome::Success();
}

// `wanted` as the file at hand must store it: a file whose own creation time (its birth time, or
// its last-write time) differs from the one wanted carries it in its blob.
FileRecord StoreFor(const StoredState& file, const FileRecord& wanted) {
  FileRecord store = wanted;
  if (wanted.backend != Backend::Generic) return store;
  const time::FileTime creation = FileTimeOf(wanted.times.creation);
  std::optional<DosAttribBlob> blob;
  if (wanted.dosAttrib) blob = ParseDosAttribBlob(*wanted.dosAttrib);
  if (blob && blob->ValidCreateTime()) return store;
  if (FileTimeOf(file.birth.value_or(wanted.times.lastWrite)) == creation) return store;
  std::optional<std::span<const std::uint8_t>> existing;
  if (wanted.dosAttrib) existing = std::span<const std::uint8_t>(*wanted.dosAttrib);
  const std::uint32_t bits = blob ? blob->attributes : (wanted.attributes & kFourAttributes);
  store.dosAttrib = UpdateDosAttribBlob(existing, bits, creation);
  return store;
}

bool ReadOnlyNow(const StoredState& state) {
  return KeepsPermissionBits(state.backend) ? (state.mode & S_IWUSR) == 0
                                            : (state.ntfsAttributes & kAttributeReadOnly) != 0;
}

// What keeps the store from being written while the file is read-only: on Generic its blob (a user
// attribute needs write permission); NTFS keeps its words whatever the bit says.
bool StoreNeedsWriteAccess(const StoredState& state, const FileRecord& store) {
  return state.backend == Backend::Generic && state.dosAttrib != store.dosAttrib;
}

// Makes the file writable for its owner; `state` then says what the file holds.
Outcome Lift(const std::string& path, StoredState& state) {
  if (KeepsPermissionBits(state.backend)) {
    if (::chmod(path.c_str(), state.mode | S_IWUSR) != 0) {
      return Outcome::Failure(FailureKind::ReadOnly, std::string("its read-only bit cannot be cleared: ") + std::strerror(errno));
    }
    state.mode |= S_IWUSR;
    return Outcome::Success();
  }
  const Outcome lifted = ntfs::WriteAttributeWord(path, state, state.ntfsAttributes & ~kAttributeReadOnly);
  if (!lifted) return Outcome::Failure(FailureKind::ReadOnly, "its read-only bit cannot be cleared: " + lifted.message());
  state.ntfsAttributes &= ~kAttributeReadOnly;
  return Outcome::Success();
}

Outcome SystemFailure(const std::string& what) { return Outcome::Failure(FailureKind::Io, what + ": " + std::strerror(errno)); }

// GiveFileStore on the file whose state the caller has just read.
Outcome GiveStore(const std::string& path, const StoredState& state, const FileRecord& wanted) {
  if (state.backend != wanted.backend) return Refused(FailureKind::Unsupported, "its file system changed under the change");
  const time::FileTime creation = FileTimeOf(wanted.times.creation);
  if (state.backend == Backend::NtfsFuse && FileTimeOf(state.Creation()) != creation &&
      WriteCreationTime(path, state, creation) != CreationWrite::Written) {
    return SystemFailure("its creation time could not be stored");
  }
  return WriteRecordedStore(path, state, StoreFor(state, wanted)).Within("its attributes could not be stored");
}

}  // namespace

Result<FileRecord> PlanFileState(const FileRecord& now, std::uint32_t attributes, const FileTimestamps& times,
                                 StateTarget target) {
  const bool root = ::geteuid() == 0;
  if (!root && now.owner != ::geteuid()) {
    return Refused(FailureKind::ReadOnly, "belongs to " + UserName(now.owner) +
                                              ", and only its owner can change it keeping its times, attributes and owner");
  }
  if (target == StateTarget::NewFile && !root && !InGroup(now.group)) {
    return Refused(FailureKind::ReadOnly, "its group " + GroupName(now.group) +
                                              " could not be kept: a new file in its place may only get a group you are in");
  }
  FileRecord wanted = now;
  wanted.times = times;
  const bool creationChanges = FileTimeOf(times.creation) != FileTimeOf(now.times.creation);
  const bool birthOnly = now.backend == Backend::NtfsKernel || now.backend == Backend::Fallback;
  if (birthOnly && creationChanges) {
    return Refused(FailureKind::Unsupported, "its file system cannot set a creation time");
  }
  if (birthOnly && target == StateTarget::NewFile && now.systemBirth) {
    return Refused(FailureKind::Unsupported,
                   "its file system cannot keep its creation time when a new file takes its place");
  }
  if (!KeepsPermissionBits(now.backend)) {
    // NTFS's other bits stay; its "normal" bit never goes with another one.
    constexpr std::uint32_t kNtfsNormal = 0x80;
    if ((attributes & kFourAttributes) != (now.attributes & kFourAttributes)) {
      wanted.attributes = (now.attributes & ~kFourAttributes & ~kNtfsNormal) | (attributes & kFourAttributes);
    }
    return wanted;
  }
  wanted.attributes = attributes & kFourAttributes;
  if (Outcome store = PlanPermissionStore(now, attributes, creationChanges, wanted); !store) return store;
  return wanted;
}

Outcome GiveFileStore(const std::string& path, const FileRecord& wanted) {
  const std::optional<StoredState> state = ReadStoredState(path);
  if (!state) return SystemFailure("its attribute store cannot be read");
  return GiveStore(path, *state, wanted);
}

Outcome GiveFileStoreInPlace(const std::string& path, const FileRecord& wanted, const std::function<Outcome()>& whileLifted) {
  std::optional<StoredState> state = ReadStoredState(path);
  if (!state) return SystemFailure("its attribute store cannot be read");
  const FileRecord before = state->Record();
  JournalEntry lifted;
  if (ReadOnlyNow(*state) && (whileLifted || StoreNeedsWriteAccess(*state, StoreFor(*state, wanted)))) {
    lifted = NoteReadOnlyLifted(path, before);
    if (Outcome opened = Lift(path, *state); !opened) return opened;
  }
  Outcome done = whileLifted ? whileLifted() : Outcome::Success();
  if (done) done = GiveStore(path, *state, wanted);
  if (!done) RestoreFileAttributes(path, before);
  return done;
}

Outcome GiveFileTimes(const std::string& path, const FileRecord& wanted) {
  const std::optional<StoredState> state = ReadStoredState(path);
  if (!state) return SystemFailure("its times cannot be read");
  if (state->lastAccess == wanted.times.lastAccess && state->lastWrite == wanted.times.lastWrite) return Outcome::Success();
  const struct timespec times[2] = {TimespecOf(wanted.times.lastAccess), TimespecOf(wanted.times.lastWrite)};
  if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) return SystemFailure("its times could not be set");
  return Outcome::Success();
}

Outcome CheckFileState(const FileRecord& found, const FileRecord& wanted) {
  static constexpr std::pair<std::uint32_t, const char*> kBits[] = {
      {kAttributeReadOnly, "read-only"}, {kAttributeHidden, "hidden"}, {kAttributeSystem, "system"}, {kAttributeArchive, "archive"}};
  std::string missed;
  for (const auto& [bit, name] : kBits) {
    if ((found.attributes & bit) != (wanted.attributes & bit)) missed += std::string(missed.empty() ? "" : ", ") + name + " bit";
  }
  if (FileTimeOf(found.times.creation) != FileTimeOf(wanted.times.creation)) {
    missed += std::string(missed.empty() ? "" : ", ") + "creation time";
  }
  if (missed.empty()) return Outcome::Success();
  return Outcome::Failure(FailureKind::Io, "was changed, but its " + missed + " did not read back as set");
}

}  // namespace kestrel::fs
