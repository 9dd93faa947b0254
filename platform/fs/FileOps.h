#pragma once
// Copying, deleting and listing files.

#include <string>
#include <vector>

namespace kestrel::fs {

// Copies `source` over `target` (an existing file is replaced; a folder in the way fails) the
// way the Windows file copy does: content, attribute word, permission bits and last-write time.
// The copy is complete and on disk before it takes the target's name; false leaves no partial
// file. The source is read under a shared lock, so a file another program writes fails.
bool CopyFile(const std::string& source, const std::string& target);

// Removes a file; false for a folder or when it cannot be removed.
bool DeleteFile(const std::string& path);

// The names (not paths) of the files directly in `folder`, in the order the file system lists
// them; folders are neither listed nor entered. Empty when the folder cannot be read.
std::vector<std::string> EnumerateFolderFiles(const std::string& folder);

}  // namespace kestrel::fs
