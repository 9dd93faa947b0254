#pragma once

#include <array>
#include <string>

#include "catalogue/PropertyCatalogue.h"

namespace kestrel::doc {

// The 14 value texts of a binary Word document in catalogue order, all from one open of the
// file. What cannot be read is empty; the editing time (from the DOP, not the property set) is
// "0" when it cannot be read.
std::array<std::string, catalogue::kRowCount> ReadBinaryPropertyRows(const std::string& path);

}  // namespace kestrel::doc
