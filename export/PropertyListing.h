#pragma once
// Every property of one document, a line each: what `show --all` prints. The lines are CSV of
// five quoted fields (full path, group, name, type, value), so a document's 14 rows, its custom
// properties and the others it stores read alike.

#include <string>
#include <vector>

#include "ooxml/PackageProperties.h"
#include "platform/Outcome.h"

namespace kestrel::csv {

// "フルパス","区分","名前","種類","値".
std::string PropertyListingHeaderLine();

// Appends the document's lines: the 14 rows (group 概要, no type), then its custom properties
// (ユーザー設定) and the others it stores (その他), each with its type. A document whose rows
// cannot be read gets no line; one whose other properties cannot be read gets its rows. The
// outcome says why lines are missing. The document's times and attributes are put back as by
// the export. Never throws.
Outcome AppendPropertyListing(ooxml::PackageProperties& packages, const std::string& path, const std::string& fullPath,
                              std::vector<std::string>& lines);

}  // namespace kestrel::csv
