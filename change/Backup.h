#pragma once
// The copy of a document kept beside it before a change: its full path with ".bak" appended,
// carrying the document's content, times and attribute bits.
// Nothing here throws.

#include <string>

#include "platform/Outcome.h"

namespace kestrel::change {

std::string BackupFileName(const std::string& path);

// Success once the copy exists (failures while giving it the times and attributes do not count).
// A failure says why: the document is missing or held open, an earlier backup cannot be replaced
// (another program holding it open included), a folder stands at the backup's name, or the copy
// could not be written (the system's error text). Never shows anything, never throws.
Outcome BackUpDocument(const std::string& path);

}  // namespace kestrel::change
