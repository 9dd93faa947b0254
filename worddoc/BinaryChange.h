#pragma once
// The change of a binary Word document's properties: every included row converted, both property
// sets and the statistics block planned in memory, then one commit of the compound file, then
// the values read back. A refused change writes nothing.

#include <string>

#include "catalogue/PropertyRows.h"
#include "platform/Outcome.h"
#include "platform/storage/CompoundFile.h"

namespace kestrel::worddoc {

// `file` is open for writing. Success only when every value asked for reads back from the file.
// Failures name what failed: a value that does not convert (its conversion message), an
// encrypted document, a property set or statistics block we cannot write, or the commit. With
// no row included the statistics block is still located, so a file that is no Word document
// fails. Never throws.
Outcome ChangeBinaryProperties(storage::CompoundFile& file, const catalogue::PropertyRows& rows);

// The same on a path: opens the document for writing (exclusively) for the length of the call.
Outcome ChangeBinaryProperties(const std::string& path, const catalogue::PropertyRows& rows);

}  // namespace kestrel::worddoc
