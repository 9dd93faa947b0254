#pragma once
// The copy of a document kept beside it before a change: its full path with ".bak" appended,
// carrying the document's content, times and attribute bits.
// Nothing here throws.

#include <memory>
#include <string>

#include "platform/Outcome.h"
#include "platform/fs/FileOps.h"
#include "platform/fs/FileState.h"

namespace kestrel::change {

std::string BackupFileName(const std::string& path);

// A backup written and on disk but not yet under its name, so that several can be written at once
// while they take their names one after the other. One never put in place leaves nothing behind.
class PreparedBackup {
 public:
  const std::string& Document() const { return document_; }

 private:
  friend Result<PreparedBackup> PrepareBackupOf(const std::string& path, fs::OpenMode documentMode,
                                                fs::CopySync sync);
  friend Outcome PutBackupInPlace(PreparedBackup& backup);
  std::string document_;
  std::unique_ptr<fs::PendingCopy> copy_;
};

// The first half of BackUpDocument: the copy of the document written and synced. Nothing at the
// backup's name is touched. Fails when the document is missing or held open, a folder stands at
// the backup's name, or the copy could not be written.
Result<PreparedBackup> PrepareBackup(const std::string& path);
// The same with the document opened in `documentMode`, the copy synced as `sync` says.
Result<PreparedBackup> PrepareBackupOf(const std::string& path, fs::OpenMode documentMode, fs::CopySync sync);

// The second half: the copy, holding the document's exact state since before it had a name,
// replaces whatever stands at the backup's name in one step (a link there is replaced, never
// followed). Fails when an earlier backup cannot be replaced (another program holding it open
// included); what stood there is then left as it was. The new name is made durable by a sync of
// BackupFolder, which the caller runs before the document changes; others may take their turn
// meanwhile.
Outcome PutBackupInPlace(PreparedBackup& backup);

// The folder whose sync makes the backup name of the document at `path` durable.
std::string BackupFolder(const std::string& path);

// The backup of a document about to be replaced by a new file (a package's change): its old file
// itself takes the backup's name, as it is, with no copy written; the new file then takes the
// document's name and leaves the backup the old file's only name. Where the system links no such
// file (another file system, a file the user may not link), a copy is written there and then.
// Fails as PrepareBackup and PutBackupInPlace do. The name is made durable as PutBackupInPlace's; the
// returned name is kept until the document is replaced (see fs::ExtraName).
Result<fs::ExtraName> PutOldFileAsBackup(const std::string& path);

// Both halves. A failure says why, as the two halves do. Never shows anything, never throws.
Outcome BackUpDocument(const std::string& path);

}  // namespace kestrel::change
