#include "platform/fs/ReplacementFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <vector>

#include "platform/fs/PlannedFileState.h"

namespace kestrel::fs {

namespace {

// Read from /proc: asking umask() means setting it, which other threads could see meanwhile.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      unsigned mask = 0;
      std::istringstream(line.substr(6)) >> std::oct >> mask;
      return static_cast<mode_t>(mask);
    }
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

// The target's user attributes (Samba's attribute blob among them: hidden, system, archive and
// the creation time) move to the new file, which the swap would otherwise lose. Done before the
// mode is set, since an owner who is not root cannot add them to a file without write permission.
void CopyUserAttributes(const std::string& from, int to) {
  std::vector<char> names(4096);
  ssize_t length = 0;
  while ((length = ::listxattr(from.c_str(), names.data(), names.size())) < 0 && errno == ERANGE) {
    names.resize(names.size() * 4);
  }
  std::vector<char> value;
  for (ssize_t at = 0; at < length; at += static_cast<ssize_t>(std::strlen(names.data() + at)) + 1) {
    const char* name = names.data() + at;
    if (std::strncmp(name, "user.", 5) != 0) continue;
    const ssize_t size = ::getxattr(from.c_str(), name, nullptr, 0);
    if (size < 0) continue;
    value.resize(static_cast<std::size_t>(size));
    const ssize_t got = ::getxattr(from.c_str(), name, value.data(), value.size());
    if (got >= 0) (void)::fsetxattr(to, name, value.data(), static_cast<std::size_t>(got), 0);
  }
}

std::string RandomSuffix() {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static thread_local std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
  std::string suffix(6, 'x');
  for (char& c : suffix) c = kLetters[pick(generator)];
  return suffix;
}

// The folder that holds `path`: "." for a bare name, "/" for a file in the root.
std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace

std::string NamedBeforeRenameOf(const std::string& name, const std::string& prefix) {
  std::uint32_t hash = 2166136261u;  // FNV-1a of the file's own name
  for (const unsigned char c : name.substr(name.rfind('/') + 1)) hash = (hash ^ c) * 16777619u;
  char token[9];
  std::snprintf(token, sizeof token, "%08x", hash);
  return FolderOf(name) + "/" + prefix + token;
}

std::string NamedBeforeRename(const std::string& target, const std::string& prefix) {
  return NamedBeforeRenameOf(FollowLinks(target), prefix);
}

std::string FollowLinks(const std::string& path) {
  // Link by link rather than through realpath: a relative name stays relative, so it works from a
  // working folder too deep for any full path.
  std::string followed = path;
  for (int step = 0; step < 40; ++step) {
    struct stat link {};
    if (::lstat(followed.c_str(), &link) != 0) return path;
    if (!S_ISLNK(link.st_mode)) return followed;
    std::string target(static_cast<std::size_t>(link.st_size) + 1, '\0');
    const ssize_t length = ::readlink(followed.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return path;
    target.resize(static_cast<std::size_t>(length));
    const std::size_t slash = followed.rfind('/');
    followed = target.front() == '/' || slash == std::string::npos ? target : followed.substr(0, slash + 1) + target;
  }
  return path;  // a loop of links
}

ReplacementFile::ReplacementFile(const std::string& target, const std::string& prefix, Kind preferred, Naming naming)
    : target_(naming == Naming::FileBehindLinks ? FollowLinks(target) : target), prefix_(prefix), kind_(preferred) {
  folder_ = FolderOf(target_);
  struct stat existing {};
  if (naming == Naming::FileBehindLinks && ::stat(target_.c_str(), &existing) == 0 && existing.st_nlink > 1) {
    error_ = "has " + std::to_string(existing.st_nlink) + " hard links; replacing it would split them";
    return;
  }
  if (kind_ == Kind::Unnamed) {
    fd_ = ::open(folder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      openPath_ = "/proc/self/fd/" + std::to_string(fd_);
      return;
    }
    // Not every file system has unnamed files; a named temporary does the same job less tidily.
    kind_ = Kind::Named;
  }
  std::string name = folder_ + "/" + prefix_ + "XXXXXX";
  fd_ = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd_ < 0) {
    error_ = "cannot create a temporary file in " + folder_ + ": " + std::strerror(errno);
    return;
  }
  namedPath_ = name;
  openPath_ = name;
  nameNoted_ = NoteTemporaryName(name, fd_);
}

ReplacementFile::~ReplacementFile() {
  if (!namedPath_.empty()) ::unlink(namedPath_.c_str());
  nameNoted_.Close();
  if (fd_ >= 0) ::close(fd_);
}

void ReplacementFile::StartWriteback(std::uint64_t offset, std::uint64_t length) const {
  if (fd_ >= 0) (void)::sync_file_range(fd_, static_cast<off64_t>(offset), static_cast<off64_t>(length), SYNC_FILE_RANGE_WRITE);
}

namespace {

Outcome Failed(const std::string& what) { return Outcome::Failure(FailureKind::Io, what + ": " + std::strerror(errno)); }

}  // namespace

std::string FolderHolding(const std::string& path) { return FolderOf(FollowLinks(path)); }

void SyncFolder(const std::string& folder) {
  const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return;
  (void)::fsync(descriptor);
  ::close(descriptor);
}


void SyncFileSystem(const std::string& folder) {
  const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return;
  (void)::syncfs(descriptor);
  ::close(descriptor);
}

Outcome ReplacementFile::TakeTargetsState() {
  struct stat target {};
  mode_t mode = 0666 & ~CurrentUmask();
  if (::stat(target_.c_str(), &target) == 0) {
    (void)!::fchown(fd_, target.st_uid, target.st_gid);
    CopyUserAttributes(target_, fd_);
    mode = target.st_mode & 07777;
  } else if (errno != ENOENT) {
    return Failed("cannot look up " + target_);
  }
  if (::fchmod(fd_, mode) != 0) return Failed("cannot set the permissions of the new file");
  return Outcome::Success();
}

// Everything while the file has no name yet, so no one ever sees the target without it: owner and
// group first (taking them clears nothing we set later), the user attributes, the attribute store
// and mode, the times last.
Outcome ReplacementFile::TakeState(const FinalState& state) {
  const FileRecord& record = state.record;
  struct stat now {};
  if (::fstat(fd_, &now) != 0) return Failed("cannot look at the new file");
  if ((now.st_uid != record.owner || now.st_gid != record.group) && ::fchown(fd_, record.owner, record.group) != 0 &&
      state.ownerRequired) {
    return Failed("the new file cannot keep the owner and group of " + target_);
  }
  CopyUserAttributes(state.userAttributesFrom, fd_);
  if (Outcome given = GiveFileStore(openPath_, record); !given) return given;
  return GiveFileTimes(openPath_, record);
}

Outcome ReplacementFile::TakeStateNow(const FinalState& state) {
  if (fd_ < 0) return Outcome::Failure(FailureKind::Io, error_);
  Outcome taken = TakeState(state);
  stateTaken_ = taken.ok();
  return taken;
}

Outcome ReplacementFile::Commit(const CommitSteps& steps, const FinalState* state) {
  if (fd_ < 0) return Outcome::Failure(FailureKind::Io, error_);
  if (!stateTaken_) {
    if (Outcome taken = state != nullptr ? TakeState(*state) : TakeTargetsState(); !taken) return taken;
  }
  if (steps.beforeChange) {
    if (Outcome done = steps.beforeChange(); !done) return done;
  }
  if (kind_ == Kind::Unnamed) {
    // Named only now, so the window in which a kill leaves a file behind is this one step. The
    // name is the target's own, so a file a kill left under it is found and removed here. The
    // lock (unless the writer's own descriptor still holds one) marks this file as not abandoned.
    (void)::flock(fd_, LOCK_EX | LOCK_NB);
    const std::string own = NamedBeforeRenameOf(target_, prefix_);
    for (int attempt = 0; namedPath_.empty(); ++attempt) {
      const std::string name = attempt == 0 || attempt == 1 ? own : folder_ + "/" + prefix_ + RandomSuffix();
      JournalEntry noted = NoteTemporaryName(name, fd_);
      if (::linkat(AT_FDCWD, openPath_.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        namedPath_ = name;
        nameNoted_ = std::move(noted);
      } else if (errno != EEXIST || attempt > 100) {
        return Failed("cannot name the new file in " + folder_);
      } else if (attempt == 0) {
        RemoveAbandoned(name);
      }
    }
  }
  if (::rename(namedPath_.c_str(), target_.c_str()) != 0) return Failed("cannot move the new file over " + target_);
  namedPath_.clear();
  nameNoted_.Close();
  if (steps.folderSync == FolderSync::Now) SyncFolder(folder_);
  return Outcome::Success();
}

}  // namespace kestrel::fs
