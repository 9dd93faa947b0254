#include "cli/BackupStep.h"

#include <utility>

namespace kestrel::cli {

BackupStep::BackupStep(BackupTurns& turns, fs::SharedSyncs& fileSystems, std::size_t index, std::string path,
                       const kestrel::Result<change::PreparedChange>& change)
    : turns_(turns), fileSystems_(fileSystems), index_(index), path_(std::move(path)) {
  if (!change || change->AlreadySo()) return;
  linked_ = change->WritesNewFile();
  // Synced with the others in its turn: one sync of the file system serves many copies.
  if (!linked_) copy_.emplace(change::PrepareBackupOf(path_, fs::OpenMode::Read, fs::CopySync::ByCaller));
}

Outcome BackupStep::operator()() {
  if (!turns_.WaitFor(index_)) {
    result_ = Result::TurnRefused;
    return Outcome::Failure(FailureKind::InvalidValue, "not changed: an earlier backup failed");
  }
  if (linked_) {
    kestrel::Result<fs::ExtraName> placed = change::PutOldFileAsBackup(path_);
    outcome_ = placed ? Outcome::Success() : placed.outcome();
    if (placed) extraName_.emplace(std::move(*placed));
  } else if (copy_) {
    outcome_ = *copy_ ? change::PutBackupInPlace(**copy_) : copy_->outcome();
  }
  turns_.Done(index_, outcome_.ok());
  result_ = outcome_ ? Result::Placed : Result::Failed;
  if (!outcome_) return outcome_;
  // The copy's data and the backup's name, with those of the other backups placed meanwhile.
  const std::string folder = change::BackupFolder(path_);
  fileSystems_.MakeDurable(folder, fileSystems_.Noted(folder));
  return outcome_;
}

BackupStep::Result BackupStep::Finish() {
  if (result_ == Result::NotRun) {
    if (!turns_.WaitFor(index_)) return result_ = Result::TurnRefused;
    turns_.Done(index_, true);
  }
  extraName_.reset();
  return result_;
}

}  // namespace kestrel::cli
