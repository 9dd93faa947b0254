#include "platform/fs/FileOps.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

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

  Outcome Replace(FolderSync folderSync) override {
    return replacement_.Commit(folderSync, &state_);
  }

 private:
  ReplacementFile replacement_;
  FinalState state_;
};

}  // namespace

Result<std::unique_ptr<PendingCopy>> WritePendingCopy(const std::string& source, const std::string& target) {
  // Under the shared lock from here on, so what is copied and what is recorded agree.
  OpenResult in = OpenFile(source, OpenMode::Read);
  if (!in.file) return DescribeOpenError(in);
  const std::optional<StoredState> from = ReadStoredState(source);
  if (!from) return DescribeUnrecordedFile(source);
  auto copy = std::make_unique<WrittenCopy>(source, target, *from);
  if (!copy->File().Valid()) return Outcome::Failure(FailureKind::Io, copy->File().Error());
  OpenResult out = OpenFile(copy->File().Path(), OpenMode::ReadWrite);
  if (!out.file) return DescribeOpenError(out).Within("the copy");
  Outcome written = out.file->CopyFrom(*in.file, 0, 0, in.file->Size());
  if (written) written = out.file->Sync();
  if (!written) return written.Within("writing the copy");
  return std::unique_ptr<PendingCopy>(std::move(copy));
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
