#pragma once
// The copy of a document kept beside it before a change: its full path with ".bak" appended,
// carrying the document's content, times and attribute bits.

#include <string>

namespace kestrel::change {

std::string BackupFileName(const std::string& path);

// True once the copy exists (failures while giving it the times and attributes do not count).
// False when an earlier backup cannot be removed (another program holding it open included), the
// document is missing, or the copy fails
// (a folder named like the backup included). Never shows anything.
bool backupoldfile(const std::string& path);

}  // namespace kestrel::change
