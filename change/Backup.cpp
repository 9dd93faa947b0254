#include "change/Backup.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "change/ApplyChange.h"
#include "platform/fs/FileIo.h"
#include "platform/fs/HeldOpen.h"
#include "platform/time/LocalDateTime.h"

namespace kestrel::change {

std::string BackupFileName(const std::string& path) { return path + ".bak"; }

Result<PreparedBackup> PrepareBackup(const std::string& path) {
  const std::string backup = BackupFileName(path);
  // The document is looked up before anything else, and an earlier backup goes only when the new
  // copy takes its name in one step: a vanished document or a failed copy never costs the last
  // copy there was.
  const auto record = fs::ReadFileRecord(path);
  if (!record) return fs::DescribeUnrecordedFile(path);
  std::error_code unusual;  // a name the system cannot look at is no folder: the copy will say why
  if (std::filesystem::is_directory(backup, unusual)) {
    return Outcome::Failure(FailureKind::Io, "a folder stands where its backup goes (" + backup + ")");
  }
  Result<std::unique_ptr<fs::PendingCopy>> copy = fs::WritePendingCopy(path, backup);
  if (!copy) {
    if (copy.outcome().kind() == FailureKind::HeldOpen) {
      return Outcome::Failure(FailureKind::HeldOpen, "held open by another program, so it could not be copied");
    }
    return copy.outcome().Within("its backup " + backup + " could not be written");
  }
  PreparedBackup prepared;
  prepared.document_ = path;
  prepared.record_ = *record;
  prepared.copy_ = std::move(*copy);
  return prepared;
}

Outcome PutBackupInPlace(PreparedBackup& prepared) {
  if (!prepared.copy_) return Outcome::Failure(FailureKind::Io, "this backup was put in place already");
  const std::string backup = BackupFileName(prepared.document_);
  std::optional<fs::FileRecord> earlier;
  if (fs::FileExistsAsFile(backup)) {
    // One another program has open could not be deleted on Windows either.
    if (fs::HeldOpenByAnotherProgram(backup)) {
      return Outcome::Failure(FailureKind::HeldOpen,
                              "its earlier backup " + backup + " is held open by another program");
    }
    earlier = fs::ReadFileRecord(backup);
    // A read-only, hidden or system backup of an earlier run can only go once its bits are off.
    if (!earlier || !fs::SetFileAttributes(backup, 0)) {
      return Outcome::Failure(FailureKind::ReadOnly, "its earlier backup " + backup + " cannot be replaced");
    }
  }
  const Outcome replaced = prepared.copy_->Replace(fs::FolderSync::ByCaller);
  prepared.copy_.reset();  // its descriptor and lock go, so the backup can be given its times
  if (!replaced) {
    if (earlier) fs::RestoreFileAttributes(backup, *earlier);
    return replaced.Within("its backup " + backup + " could not be written");
  }

  // The copy carries the document's bits, read-only included, which would refuse the times.
  fs::SetFileAttributes(backup, 0);
  // Through local date-times, as everywhere the program sets times: to the millisecond.
  const auto times = prepared.record_.times.FileTimes();
  const auto creation = time::FileTimeToLocalDateTime(times.creation);
  const auto lastWrite = time::FileTimeToLocalDateTime(times.lastWrite);
  const auto lastAccess = time::FileTimeToLocalDateTime(times.lastAccess);
  if (creation && lastWrite && lastAccess) SetFileTimes(backup, *creation, *lastWrite, *lastAccess);
  fs::SetFileAttributes(backup, prepared.record_.attributes);
  return Outcome::Success();
}

void SyncBackupName(const PreparedBackup& backup) { fs::SyncFolderOf(BackupFileName(backup.Document())); }

Outcome BackUpDocument(const std::string& path) {
  Result<PreparedBackup> prepared = PrepareBackup(path);
  if (!prepared) return prepared.outcome();
  Outcome placed = PutBackupInPlace(*prepared);
  if (placed) SyncBackupName(*prepared);
  return placed;
}

}  // namespace kestrel::change
