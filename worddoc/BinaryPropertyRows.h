#pragma once
// The property rows of a binary Word document as the reading shows them. Never throws.

#include <array>
#include <string>

#include "catalogue/PropertyCatalogue.h"
#include "platform/Outcome.h"

namespace kestrel::worddoc {

// The 14 value texts of a binary Word document in catalogue order, all from one open of the
// file. What cannot be read is empty; the editing time (from the DOP, not the property set) is
// "0" when it cannot be read. `unreadable`, when given, is set to why the file could not be
// opened as a compound file at all (held open, not a compound file, ...), else to success.
// Never throws.
std::array<std::string, catalogue::kRowCount> ReadBinaryPropertyRows(const std::string& path,
                                                                     Outcome* unreadable = nullptr);

}  // namespace kestrel::worddoc
