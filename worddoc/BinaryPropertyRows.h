#pragma once
// The property rows of a compound-file document (Word, Excel or PowerPoint) as the reading shows
// them. Never throws.

#include <array>
#include <string>

#include "catalogue/PropertyCatalogue.h"
#include "platform/Outcome.h"
#include "platform/fs/FileIo.h"

namespace kestrel::worddoc {

// The 14 value texts of a compound-file document in catalogue order, all from one open of the
// file. What cannot be read is empty. The editing time of a Word document comes from its
// statistics block (the DOP, not the property set), "0" when that cannot be read; a compound file
// without a "WordDocument" stream (a workbook, a presentation) has none, and its editing time is
// PIDSI_EDITTIME in whole minutes, empty when absent. A file that cannot be opened as a compound
// file shows "0" when its name makes it a Word document (as an unknown name does), else empty.
// `unreadable`, when given, is set to why the file could not be opened as a compound file at all
// (held open, not a compound file, ...), else to success. Never throws.
std::array<std::string, catalogue::kRowCount> ReadBinaryPropertyRows(const std::string& path,
                                                                     Outcome* unreadable = nullptr);
// The same on the document at `path` as the caller opened it for reading (or failed to).
std::array<std::string, catalogue::kRowCount> ReadBinaryPropertyRows(fs::OpenResult opened, const std::string& path,
                                                                     Outcome* unreadable = nullptr);

}  // namespace kestrel::worddoc
