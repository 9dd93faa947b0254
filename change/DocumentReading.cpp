#include "change/DocumentReading.h"

#include <exception>

#include "catalogue/DocumentKind.h"
#include "doc/BinaryPropertyRows.h"
#include "ooxml/OoxmlProperties.h"

namespace kestrel::change {

std::optional<PropertyTexts> ReadDocumentRows(zip::TPackageZip& myzip, xml::XmlDocument& axml, const std::string& path) {
  if (catalogue::DocumentKindOf(path) == catalogue::DocumentKind::Binary) return doc::ReadBinaryPropertyRows(path);
  try {
    return ooxml::ReadOoxmlProperties(myzip, axml, path);
  } catch (const std::exception&) {
    // A damaged part or package is a failed read like any other.
    return std::nullopt;
  }
}

bool RestoreTimesAndAttributes(const std::string& path, const fs::FileRecord& record) {
  // Times can only be set on a file opened for writing, which a read-only file refuses.
  if ((record.attributes & fs::kAttributeReadOnly) != 0 &&
      !fs::SetFileAttributes(path, record.attributes & ~fs::kAttributeReadOnly)) {
    return false;
  }
  const bool timesSet = fs::SetFileTimestamps(path, record.times) != fs::SetTimesResult::NotOpened;
  // Also when the times could not be set, so a read-only document stays read-only.
  fs::RestoreFileAttributes(path, record);
  return timesSet;
}

std::optional<DocumentReading> ReadDocument(zip::TPackageZip& myzip, xml::XmlDocument& axml, const std::string& path) {
  const auto record = fs::ReadFileRecord(path);
  if (!record) return std::nullopt;
  DocumentReading reading{*record, ReadDocumentRows(myzip, axml, path), false};
  // Put back after a failed package read too: the read may already have touched the last-access time.
  reading.restored = RestoreTimesAndAttributes(path, *record);
  return reading;
}

}  // namespace kestrel::change
