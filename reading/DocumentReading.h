#pragma once
// Reading one document as the single tab and the CSV export see it: its 14 property texts, its
// three times and its attribute word, and then putting the file back exactly as it was.
// Nothing here throws.

#include <array>
#include <optional>
#include <string>

#include "catalogue/PropertyCatalogue.h"
#include "ooxml/PackageProperties.h"
#include "platform/Outcome.h"
#include "platform/fs/FileState.h"

namespace kestrel::reading {

using PropertyTexts = std::array<std::string, catalogue::kRowCount>;

// The 14 texts by the kind of document: a package through its property parts (nullopt when it
// cannot be read, errors of the XML and ZIP layers included), any other document as a compound
// file through its property sets and, for Word, its statistics block (never fails; empty rows
// then). `outcome`, when given, says why rows are missing or empty.
std::optional<PropertyTexts> ReadDocumentRows(ooxml::PackageProperties& packages, const std::string& path,
                                              Outcome* outcome = nullptr);

// Puts the recorded times and attributes back: the read-only bit cleared if set, the times set on
// the file opened exclusively, then permission bits and attribute store as recorded. False when
// the read-only bit cannot be cleared (nothing else is done) or the file cannot be opened for the
// times (the attributes are put back all the same).
bool RestoreTimesAndAttributes(const std::string& path, const fs::FileRecord& record);

struct DocumentReading {
  fs::FileRecord record;               // the times and attribute word found before reading
  std::optional<PropertyTexts> rows;   // nullopt: the package could not be read
  // Why the rows are missing (a package), or empty (a binary document that could not be opened
  // as one); success when the document was read.
  Outcome outcome = Outcome::Success();
  bool restored = false;               // what RestoreTimesAndAttributes answered
  // What the file list shows: read error unless both hold.
  bool Succeeded() const { return rows.has_value() && restored; }
};

// NotFound when there is no such file or its state cannot be read (nothing is shown then).
// Otherwise the record, the rows, and the file put back, also when the rows could not be read.
// Never throws.
Result<DocumentReading> ReadDocument(ooxml::PackageProperties& packages, const std::string& path);

}  // namespace kestrel::reading
