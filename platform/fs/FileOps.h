#pragma once
// Copying, linking and listing files.
// Nothing here throws except std::bad_alloc.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Outcome.h"
#include "platform/fs/FileIo.h"
#include "platform/fs/LeftoverJournal.h"
#include "platform/fs/ReplacementFile.h"

namespace kestrel::fs {

// A copy of `source` made in two halves that may run apart: the copy is written and put on disk
// beside the target under no name (nothing anyone sees changes), then Replace puts it in the
// target's place. A copy never put in place leaves nothing behind.
class PendingCopy {
 public:
  virtual ~PendingCopy() = default;
  // The second half: the copy gets the source's exact state (permission bits, attribute store,
  // the three times to the nanosecond, owner and group where the system allows) while it has no
  // name, then takes the target's name in one step. Whatever stands at that name, a symbolic or
  // hard link included, is replaced as a name and never written through.
  virtual Outcome Replace(FolderSync folderSync) = 0;
};

// The first half: the source read under its shared lock, the copy complete and synced. Nothing at
// the target is looked at or touched yet. Fails (HeldOpen) for a source another program writes.
// `sourceMode` OpenMode::ReadUnderOwnLock reads a source the caller holds locked. With
// CopySync::ByCaller the copy is only handed to the disk, and the caller makes it durable
// (SyncFileSystem) before anything depends on it.
enum class CopySync { Now, ByCaller };
Result<std::unique_ptr<PendingCopy>> WritePendingCopy(const std::string& source, const std::string& target,
                                                      OpenMode sourceMode = OpenMode::Read,
                                                      CopySync sync = CopySync::Now);

// A second name of a file, meant to become its only one once the file is replaced under its
// first name. Should that not happen before this object goes (the replacement failed), the
// second name goes with it, as a later run's repair would remove it after a kill: a file keeps
// no second name of ours, and nothing is lost by removing one.
class ExtraName {
 public:
  ExtraName() = default;  // no name
  ExtraName(std::string name, std::uint64_t device, std::uint64_t inode, JournalEntry noted)
      : name_(std::move(name)), device_(device), inode_(inode), noted_(std::move(noted)) {}
  ~ExtraName();
  ExtraName(ExtraName&& other) noexcept
      : name_(std::exchange(other.name_, {})), device_(other.device_), inode_(other.inode_), noted_(std::move(other.noted_)) {}
  ExtraName& operator=(ExtraName&& other) = delete;
  ExtraName(const ExtraName&) = delete;
  ExtraName& operator=(const ExtraName&) = delete;

 private:
  std::string name_;
  std::uint64_t device_ = 0;
  std::uint64_t inode_ = 0;
  JournalEntry noted_;
};

// The file `source` names (past its symbolic links) also takes the name `target`, replacing in one
// step whatever stands there, as a name: the file itself, with its content, owner, mode,
// attributes and times, and no copy written. Fails, with the system's words, where the system
// links no such file: another file system, one without hard links, a file the user may not link;
// `target` is then as it was.
Result<ExtraName> LinkAsName(const std::string& source, const std::string& target);

// The names (not paths) of the files directly in `folder`, in the order the file system lists
// them; folders are neither listed nor entered. Empty when the folder cannot be read.
std::vector<std::string> EnumerateFolderFiles(const std::string& folder);

}  // namespace kestrel::fs
