#pragma once
// Copying, deleting and listing files.
// Nothing here throws except std::bad_alloc.

#include <memory>
#include <string>
#include <vector>

#include "platform/Outcome.h"
#include "platform/fs/ReplacementFile.h"

namespace kestrel::fs {

// Copies `source` over `target` (an existing file is replaced; a folder in the way fails) the
// way the Windows file copy does: content, attribute word, permission bits and last-write time;
// the copy's creation time is its own. As on Windows, a read-only or hidden file in the way is
// not replaced. The copy is complete and on disk before it takes the target's name; a failure
// leaves no partial file and says why. The source is read under a shared lock, so a file another
// program writes fails (HeldOpen).
Outcome CopyFile(const std::string& source, const std::string& target);

// CopyFile in two halves that may run apart: the copy is written and put on disk beside the target
// under no name (nothing anyone sees changes), then Replace puts it in the target's place. A copy
// never put in place leaves nothing behind.
class PendingCopy {
 public:
  virtual ~PendingCopy() = default;
  // The second half: a read-only or hidden file in the way is not replaced; the copy takes the
  // target's name in one step and gets the source's permission bits.
  virtual Outcome Replace(FolderSync folderSync) = 0;
};

// The first half: the source read under its shared lock, the copy complete and synced. Nothing at
// the target is looked at or touched yet.
Result<std::unique_ptr<PendingCopy>> WritePendingCopy(const std::string& source, const std::string& target);

// Removes a file (a symbolic link itself, not its target); false for a folder, for a read-only
// file (as on Windows: clear the bit first) or when it cannot be removed.
bool DeleteFile(const std::string& path);

// The names (not paths) of the files directly in `folder`, in the order the file system lists
// them; folders are neither listed nor entered. Empty when the folder cannot be read.
std::vector<std::string> EnumerateFolderFiles(const std::string& folder);

}  // namespace kestrel::fs
