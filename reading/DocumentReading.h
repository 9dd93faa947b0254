#pragma once
// Taking up one document: its path opened once, with its lock, its record taken from that
// descriptor, and its kind decided from its name, once; then reading it as the single tab and the
// CSV export see it (its 14 property texts, its three times and its attribute word). The open asks
// the system to leave the last-access time alone (granted to the owner and to root); where it is
// not granted, setting the time back would be refused as well, so nothing is put back afterwards.
// Nothing here throws.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/PropertyDocument.h"
#include "ooxml/PackageProperties.h"
#include "platform/Outcome.h"
#include "platform/fs/FileState.h"

namespace kestrel::reading {

using catalogue::PropertyTexts;

struct OpenedDocument {
  fs::FileRecord record;  // the times and attribute word as the file was opened
  // Success, or why the file could not be opened for reading (another program holds it, say); its
  // record was then taken by its path, and the document answers with that reason.
  Outcome opened = Outcome::Success();
  // Answers through `packages` for an Office or OpenDocument package.
  std::unique_ptr<catalogue::PropertyDocument> document;
};

// NotFound when there is no such file or its state cannot be read.
Result<OpenedDocument> OpenDocument(ooxml::PackageProperties& packages, const std::string& path);

// The 14 texts of the document at `path` (nullopt when a package cannot be read, errors of the XML
// and ZIP layers included; a compound file always has texts, empty where it cannot be read).
// `outcome`, when given, says why rows are missing or empty.
std::optional<PropertyTexts> ReadDocumentRows(ooxml::PackageProperties& packages, const std::string& path,
                                              Outcome* outcome = nullptr);

struct DocumentReading {
  fs::FileRecord record;               // the times and attribute word as the file was opened
  std::optional<PropertyTexts> rows;   // nullopt: the package could not be read
  // Why the rows are missing (a package), or empty (a binary document that could not be opened
  // as one); success when the document was read.
  Outcome outcome = Outcome::Success();
  bool opened = true;  // false: the file could not be opened for reading (another program holds it)
  // What the document stores beyond the rows, when asked for: the list, or why it could not be read.
  Result<std::vector<catalogue::OtherProperty>> others = std::vector<catalogue::OtherProperty>();
  // What the file list shows: read error unless it holds.
  bool Succeeded() const { return opened && rows.has_value(); }
};

// NotFound when there is no such file or its state cannot be read (nothing is shown then).
// Otherwise the record and the rows, also when the rows could not be read (a document another
// program holds, for one), and with `withOthers` what it stores beyond them.
Result<DocumentReading> ReadDocument(ooxml::PackageProperties& packages, const std::string& path,
                                     bool withOthers = false);

}  // namespace kestrel::reading
