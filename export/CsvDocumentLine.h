#pragma once
// One document's line of the CSV export, read fresh from the document.

#include <array>
#include <string>
#include <vector>

#include "catalogue/PropertyCatalogue.h"
#include "ooxml/PackageProperties.h"
#include "platform/Outcome.h"
#include "platform/fs/FileState.h"
#include "reading/DocumentReading.h"

namespace kestrel::csv {

// The fields after the path and file name: the 14 rows, the three times and the four "Y"/empty
// attribute flags, exactly as the line writes them (times to the second, local time).
inline constexpr int kShownFieldCount = catalogue::kRowCount + catalogue::kLabelCount;
using ShownFields = std::array<std::string, kShownFieldCount>;
ShownFields DocumentFields(const catalogue::PropertyTexts& rows, const fs::FileRecord& record);

// Appends the document's 23-field line to `lines` (UTF-8, no line end) and puts the document's
// times and attributes back. A document that is missing or whose state cannot be read gets a line
// of the path and the file name followed by a comma; a package that cannot be read gets no line,
// but is put back all the same. The outcome says why a line is short, missing, or holds empty
// property fields (a binary document that could not be opened as one). Never throws.
// `path` reaches the document; `fullPath` is what its first two fields show.
// The creation, last-write and last-access fields of the line, in local time; each empty when it
// cannot be shown, the last-access one also up to 1904-05-20 (a file system that keeps none).
std::array<std::string, 3> FileTimeTexts(const fs::FileTimeSet& times);

Outcome AppendDocumentLine(ooxml::PackageProperties& packages, const std::string& path, const std::string& fullPath,
                           std::vector<std::string>& lines);

}  // namespace kestrel::csv
