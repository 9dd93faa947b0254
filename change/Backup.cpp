#include "change/Backup.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include <sys/stat.h>

#include "platform/fs/FileIo.h"
#include "platform/fs/HeldOpen.h"

namespace kestrel::change {

std::string BackupFileName(const std::string& path) { return path + ".bak"; }

namespace {

Outcome FolderAtBackupName(const std::string& backup) {
  std::error_code unusual;  // a name the system cannot look at is no folder: the copy will say why
  if (std::filesystem::is_directory(std::filesystem::symlink_status(backup, unusual))) {
    return Outcome::Failure(FailureKind::Io, "a folder stands where its backup goes (" + backup + ")");
  }
  return Outcome::Success();
}

// An earlier backup another program has open could not be deleted on Windows either. Only a file
// of that name counts: a link there is replaced as a name, never followed.
Outcome EarlierBackupHeldOpen(const std::string& backup) {
  struct stat earlier {};
  if (::lstat(backup.c_str(), &earlier) == 0 && S_ISREG(earlier.st_mode) && earlier.st_nlink == 1 &&
      fs::HeldOpenByAnotherProgram(backup)) {
    return Outcome::Failure(FailureKind::HeldOpen, "its earlier backup " + backup + " is held open by another program");
  }
  return Outcome::Success();
}

}  // namespace

Result<PreparedBackup> PrepareBackup(const std::string& path) {
  return PrepareBackupOf(path, fs::OpenMode::Read, fs::CopySync::Now);
}

Result<PreparedBackup> PrepareBackupOf(const std::string& path, fs::OpenMode documentMode, fs::CopySync sync) {
  const std::string backup = BackupFileName(path);
  // The document is looked up before anything else, and an earlier backup goes only when the new
  // copy takes its name in one step: a vanished document or a failed copy never costs the last
  // copy there was.
  const auto record = fs::ReadFileRecord(path);
  if (!record) return fs::DescribeUnrecordedFile(path);
  if (Outcome folder = FolderAtBackupName(backup); !folder) return folder;
  Result<std::unique_ptr<fs::PendingCopy>> copy = fs::WritePendingCopy(path, backup, documentMode, sync);
  if (!copy) {
    if (copy.outcome().kind() == FailureKind::HeldOpen) {
      return Outcome::Failure(FailureKind::HeldOpen, "held open by another program, so it could not be copied");
    }
    return copy.outcome().Within("its backup " + backup + " could not be written");
  }
  PreparedBackup prepared;
  prepared.document_ = path;
  prepared.copy_ = std::move(*copy);
  return prepared;
}

Outcome PutBackupInPlace(PreparedBackup& prepared) {
  if (!prepared.copy_) return Outcome::Failure(FailureKind::Io, "this backup was put in place already");
  const std::string backup = BackupFileName(prepared.document_);
  if (Outcome held = EarlierBackupHeldOpen(backup); !held) return held;
  const Outcome replaced = prepared.copy_->Replace(fs::FolderSync::ByCaller);
  prepared.copy_.reset();
  return replaced.Within("its backup " + backup + " could not be written");
}

std::string BackupFolder(const std::string& path) { return fs::FolderHolding(BackupFileName(path)); }

Result<fs::ExtraName> PutOldFileAsBackup(const std::string& path) {
  const std::string backup = BackupFileName(path);
  if (Outcome folder = FolderAtBackupName(backup); !folder) return folder;
  if (Outcome held = EarlierBackupHeldOpen(backup); !held) return held;
  Result<fs::ExtraName> linked = fs::LinkAsName(path, backup);
  if (linked) return linked;
  // The change holds the document's lock by now.
  Result<PreparedBackup> copy = PrepareBackupOf(path, fs::OpenMode::ReadUnderOwnLock, fs::CopySync::Now);
  if (!copy) return copy.outcome();
  if (Outcome placed = PutBackupInPlace(*copy); !placed) return placed;
  return fs::ExtraName();
}

Outcome BackUpDocument(const std::string& path) {
  Result<PreparedBackup> prepared = PrepareBackup(path);
  if (!prepared) return prepared.outcome();
  Outcome placed = PutBackupInPlace(*prepared);
  if (placed) fs::SyncFolder(BackupFolder(path));
  return placed;
}

}  // namespace kestrel::change
