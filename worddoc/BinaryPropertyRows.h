#pragma once
// The property rows of a compound-file document (Word, Excel or PowerPoint) as the reading shows
// them. Never throws.

#include <array>
#include <string>

#include "catalogue/PropertyCatalogue.h"
#include "platform/Outcome.h"
#include "catalogue/PropertyDocument.h"
#include "platform/storage/CompoundFile.h"

namespace kestrel::worddoc {

// The 14 value texts of a compound-file document in catalogue order, all from `file` (null when
// the document could not be opened as one, which `why` says). What cannot be read is empty. The editing time of a Word document comes from its
// statistics block (the DOP, not the property set), "0" when that cannot be read; a compound file
// without a "WordDocument" stream (a workbook, a presentation) has none, and its editing time is
// PIDSI_EDITTIME in whole minutes, empty when absent. A file that cannot be opened as a compound
// file shows "0" when its name makes it a Word document (as an unknown name does), else empty.
// The texts are always there; the outcome is `why`, or says why a property set was refused
// unread (its rows are empty), or that memory ran out. Never throws.
catalogue::DocumentRows ReadBinaryPropertyRows(const storage::CompoundFile* file, Outcome why, const std::string& path);

// The same on the file at `path`, opened for the call. `unreadable`, when given, is set to why the
// file could not be opened as a compound file at all (held open, not a compound file, ...), else
// to success.
catalogue::PropertyTexts ReadBinaryPropertyRows(const std::string& path, Outcome* unreadable = nullptr);

}  // namespace kestrel::worddoc
