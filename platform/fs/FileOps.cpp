#include "platform/fs/FileOps.h"

#include <dirent.h>
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

// Content, attribute word and last-write time into the file beside the target, synced.
bool WriteCopy(RandomAccessFile& in, const StoredState& from, const std::string& path) {
  OpenResult out = OpenFile(path, OpenMode::ReadWrite);
  if (!out.file || !out.file->CopyFrom(in, 0, 0, in.Size()) || !out.file->Sync()) return false;
  const std::optional<StoredState> written = ReadStoredState(path);
  if (!written || !WriteAttributeWord(path, *written, from.AttributeWord())) return false;
  return out.file->SetTimes(std::nullopt, from.lastWrite);
}

Outcome Failed(const std::string& what) { return Outcome::Failure(FailureKind::Io, what + ": " + std::strerror(errno)); }

class WrittenCopy final : public PendingCopy {
 public:
  WrittenCopy(const std::string& target, StoredState from) : replacement_(target, ".kestrel-copy-"), from_(std::move(from)) {}

  ReplacementFile& File() { return replacement_; }

  Outcome Replace(FolderSync folderSync) override {
    const std::string& target = replacement_.Target();
    struct stat targetInfo {};
    if (::stat(target.c_str(), &targetInfo) == 0) {
      if (!S_ISREG(targetInfo.st_mode)) return Outcome::Failure(FailureKind::Io, target + " is not a file");
      // As with the Windows copy, a read-only or hidden file in the way is not replaced.
      const std::optional<StoredState> inTheWay = ReadStoredState(target);
      if (!inTheWay || (inTheWay->AttributeWord() & (kAttributeReadOnly | kAttributeHidden)) != 0) {
        return Outcome::Failure(FailureKind::ReadOnly, target + " is read-only or hidden");
      }
    }
    if (!replacement_.Commit(folderSync)) return Outcome::Failure(FailureKind::Io, replacement_.Error());
    // Committing gave it the permission bits of the file it replaced; the copy carries the source's.
    const std::optional<StoredState> copied = ReadStoredState(target);
    if (!copied) return DescribeUnrecordedFile(target);
    if (KeepsPermissionBits(copied->backend) && copied->mode != from_.mode && ::chmod(target.c_str(), from_.mode) != 0) {
      return Failed("giving the copy its permission bits");
    }
    return Outcome::Success();
  }

 private:
  ReplacementFile replacement_;
  StoredState from_;
};

}  // namespace

Result<std::unique_ptr<PendingCopy>> WritePendingCopy(const std::string& source, const std::string& target) {
  // Under the shared lock from here on, so what is copied and what is recorded agree.
  OpenResult in = OpenFile(source, OpenMode::Read);
  if (!in.file) return DescribeOpenError(in);
  const std::optional<StoredState> from = ReadStoredState(source);
  if (!from) return DescribeUnrecordedFile(source);
  auto copy = std::make_unique<WrittenCopy>(target, *from);
  if (!copy->File().Valid()) return Outcome::Failure(FailureKind::Io, copy->File().Error());
  if (!WriteCopy(*in.file, *from, copy->File().Path())) return Failed("writing the copy");
  return std::unique_ptr<PendingCopy>(std::move(copy));
}

Outcome CopyFile(const std::string& source, const std::string& target) {
  Result<std::unique_ptr<PendingCopy>> copy = WritePendingCopy(source, target);
  if (!copy) return copy.outcome();
  return (*copy)->Replace(FolderSync::Now);
}

bool DeleteFile(const std::string& path) {
  // As on Windows, a read-only file is not removed.
  const std::optional<StoredState> state = ReadStoredState(path);
  if (!state || (state->AttributeWord() & kAttributeReadOnly) != 0) return false;
  return ::unlink(path.c_str()) == 0;
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
