#pragma once
// Copying and listing files.
// Nothing here throws except std::bad_alloc.

#include <memory>
#include <string>
#include <vector>

#include "platform/Outcome.h"
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
Result<std::unique_ptr<PendingCopy>> WritePendingCopy(const std::string& source, const std::string& target);

// The names (not paths) of the files directly in `folder`, in the order the file system lists
// them; folders are neither listed nor entered. Empty when the folder cannot be read.
std::vector<std::string> EnumerateFolderFiles(const std::string& folder);

}  // namespace kestrel::fs
