#pragma once
// The backup of one document in a set run, taken in its turn right before the document changes:
// a compound file's copy is written beforehand, while other documents go on; a package's old file
// itself becomes the backup as its new file takes its place. The backup, data and name, is
// durable before the document changes: one sync of its file system serves the backups placed
// meanwhile.

#include <cstddef>
#include <optional>
#include <string>

#include "change/ApplyChange.h"
#include "change/Backup.h"
#include "cli/BackupTurns.h"
#include "platform/fs/SharedSyncs.h"

namespace kestrel::cli {

class BackupStep {
 public:
  enum class Result { NotRun, Placed, Failed, TurnRefused };

  // `change` is the document's prepared change, or why it was refused (nothing to back up then).
  BackupStep(BackupTurns& turns, fs::SharedSyncs& fileSystems, std::size_t index, std::string path,
             const kestrel::Result<change::PreparedChange>& change);

  // The step the change runs right before the document changes.
  Outcome operator()();

  // Once the change has returned: the turn is passed on if the step never ran, so that no later
  // document waits for it. NotRun or TurnRefused when the document did not change for the backup's
  // sake; Failed with the backup's failure.
  Result Finish();
  const Outcome& BackupOutcome() const { return outcome_; }

 private:
  BackupTurns& turns_;
  fs::SharedSyncs& fileSystems_;  // by the backup's folder, syncing its file system
  std::size_t index_;
  std::string path_;
  bool linked_ = false;  // the old file itself becomes the backup
  std::optional<kestrel::Result<change::PreparedBackup>> copy_;
  std::optional<fs::ExtraName> extraName_;  // kept until the document is replaced
  Result result_ = Result::NotRun;
  Outcome outcome_ = Outcome::Success();
};

}  // namespace kestrel::cli
