#pragma once
// Copying, deleting and listing files.
// Nothing here throws except std::bad_alloc.

#include <string>
#include <vector>

#include "platform/Outcome.h"

namespace kestrel::fs {

// Copies `source` over `target` (an existing file is replaced; a folder in the way fails) the
// way the Windows file copy does: content, attribute word, permission bits and last-write time;
// the copy's creation time is its own. As on Windows, a read-only or hidden file in the way is
// not replaced. The copy is complete and on disk before it takes the target's name; a failure
// leaves no partial file and says why. The source is read under a shared lock, so a file another
// program writes fails (HeldOpen).
Outcome CopyFile(const std::string& source, const std::string& target);

// Removes a file (a symbolic link itself, not its target); false for a folder, for a read-only
// file (as on Windows: clear the bit first) or when it cannot be removed.
bool DeleteFile(const std::string& path);

// The names (not paths) of the files directly in `folder`, in the order the file system lists
// them; folders are neither listed nor entered. Empty when the folder cannot be read.
std::vector<std::string> EnumerateFolderFiles(const std::string& folder);

}  // namespace kestrel::fs
