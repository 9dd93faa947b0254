#pragma once
// The change of a compound-file document's properties: every included row converted, both
// property sets (and for a Word document its statistics block) planned in memory, then one commit
// of the compound file, then the values read back. A refused change writes nothing.

#include <string>

#include "catalogue/PropertyRows.h"
#include "platform/Outcome.h"
#include "platform/storage/CompoundFile.h"

namespace kestrel::worddoc {

// `file` is open for writing. Success only when every value asked for reads back from the file.
// A compound file with a "WordDocument" stream is a Word document: its statistics block is written
// too, and an encrypted one is refused; with no row included the block is still located, so a
// Word document we cannot write fails. Any other compound file (a workbook, a presentation) gets
// its property sets alone, and is refused (Encrypted) when its properties are kept encrypted
// beside or instead of plain sets. Other failures name what failed: a value that does not convert
// (its conversion message), a property set or statistics block we cannot write, or the commit.
// Never throws.
Outcome ChangeBinaryProperties(storage::CompoundFile& file, const catalogue::PropertyRows& rows);

// The same on a path: opens the document for writing (exclusively) for the length of the call.
Outcome ChangeBinaryProperties(const std::string& path, const catalogue::PropertyRows& rows);

}  // namespace kestrel::worddoc
