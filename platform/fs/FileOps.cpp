#include "platform/fs/FileOps.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

#include "platform/fs/FileIo.h"
#include "platform/fs/ReplacementFile.h"
#include "platform/fs/StoredState.h"

namespace kestrel::fs {

namespace {

class WrittenCopy final : public PendingCopy {
 public:
  WrittenCopy(const std::string& source, const std::string& target, const StoredState& from)
      : replacement_(target, ".kestrel-copy-", ReplacementFile::Kind::Unnamed, ReplacementFile::Naming::NameItself),
        state_{from.Record(), false, source} {}

  ReplacementFile& File() { return replacement_; }

  Outcome TakeState() { return replacement_.TakeStateNow(state_); }

  Outcome Replace(FolderSync folderSync) override {
    return replacement_.Commit({folderSync, nullptr}, &state_);
  }

 private:
  ReplacementFile replacement_;
  FinalState state_;
};

}  // namespace

Result<std::unique_ptr<PendingCopy>> WritePendingCopy(const std::string& source, const std::string& target,
                                                      OpenMode sourceMode, CopySync sync) {
  // Under the shared lock from here on, so what is copied and what is recorded agree.
  OpenResult in = OpenFile(source, sourceMode);
  if (!in.file) return DescribeOpenError(in);
  const std::optional<StoredState> from = ReadStoredState(source);
  if (!from) return DescribeUnrecordedFile(source);
  auto copy = std::make_unique<WrittenCopy>(source, target, *from);
  if (!copy->File().Valid()) return Outcome::Failure(FailureKind::Io, copy->File().Error());
  OpenResult out = OpenFile(copy->File().Path(), OpenMode::ReadWrite);
  if (!out.file) return DescribeOpenError(out).Within("the copy");
  Outcome written = out.file->CopyFrom(*in.file, 0, 0, in.file->Size());
  if (written && sync == CopySync::Now) written = out.file->Sync();
  if (written && sync == CopySync::ByCaller) copy->File().StartWriteback(0, in.file->Size());
  // Its state too while the source's lock holds, so that putting it in place is only its naming.
  if (written) written = copy->TakeState();
  if (!written) return written.Within("writing the copy");
  return std::unique_ptr<PendingCopy>(std::move(copy));
}

ExtraName::~ExtraName() {
  struct stat named {};
  if (!name_.empty() && ::lstat(name_.c_str(), &named) == 0 && S_ISREG(named.st_mode) && named.st_nlink > 1 &&
      static_cast<std::uint64_t>(named.st_dev) == device_ && static_cast<std::uint64_t>(named.st_ino) == inode_) {
    ::unlink(name_.c_str());
  }
}

Result<ExtraName> LinkAsName(const std::string& source, const std::string& target) {
  const std::string file = FollowLinks(source);
  struct stat linked {};
  if (::stat(file.c_str(), &linked) != 0) {
    return Outcome::Failure(FailureKind::Io, std::string("cannot look up ") + file + ": " + std::strerror(errno));
  }
  const auto device = static_cast<std::uint64_t>(linked.st_dev);
  const auto inode = static_cast<std::uint64_t>(linked.st_ino);
  // Linked under a name of ours first, so that whatever stands at `target` goes in one rename.
  const std::string temporary = NamedBeforeRenameOf(target, ".kestrel-link-");
  JournalEntry temporaryNoted = NoteExtraName(temporary, device, inode);
  for (int attempt = 0; ::linkat(AT_FDCWD, file.c_str(), AT_FDCWD, temporary.c_str(), 0) != 0; ++attempt) {
    struct stat left {};
    // Only a second name a killed run left can stand there: it goes, the file keeps its other one.
    const bool leftover = errno == EEXIST && attempt == 0 && ::lstat(temporary.c_str(), &left) == 0 &&
                          S_ISREG(left.st_mode) && left.st_nlink > 1;
    if (!leftover || ::unlink(temporary.c_str()) != 0) {
      return Outcome::Failure(FailureKind::Io, "cannot link " + file + " as " + temporary + ": " + std::strerror(errno));
    }
  }
  JournalEntry targetNoted = NoteExtraName(target, device, inode);
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    const Outcome failed =
        Outcome::Failure(FailureKind::Io, "cannot rename " + temporary + " to " + target + ": " + std::strerror(errno));
    ::unlink(temporary.c_str());
    return failed;
  }
  // A rename between two names of one file leaves both: the target already was this file.
  struct stat left {};
  if (::lstat(temporary.c_str(), &left) == 0 && left.st_dev == linked.st_dev && left.st_ino == linked.st_ino) {
    ::unlink(temporary.c_str());
  }
  return ExtraName(target, device, inode, std::move(targetNoted));
}

std::vector<std::string> EnumerateFolderFiles(const std::string& folder) {
  std::vector<std::string> names;
  DIR* listing = ::opendir(folder.c_str());
  if (listing == nullptr) return names;
  const int folderFd = ::dirfd(listing);
  while (const struct dirent* entry = ::readdir(listing)) {
    bool file = entry->d_type == DT_REG;
    // A link counts by its target, like FileExistsAsFile; some file systems do not say the type.
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      struct stat info {};
      file = ::fstatat(folderFd, entry->d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
    }
    if (file) names.emplace_back(entry->d_name);
  }
  ::closedir(listing);
  return names;
}

}  // namespace kestrel::fs
