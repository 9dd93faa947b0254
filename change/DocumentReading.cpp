#include "change/DocumentReading.h"

#include <exception>

#include "catalogue/DocumentKind.h"
#include "doc/BinaryPropertyRows.h"
#include "ooxml/OoxmlProperties.h"
#include "platform/fs/FileIo.h"

namespace kestrel::change {

std::optional<PropertyTexts> ReadDocumentRows(zip::TPackageZip& myzip, xml::XmlDocument& axml, const std::string& path,
                                              Outcome* outcome) {
  if (outcome != nullptr) *outcome = Outcome::Success();
  if (catalogue::DocumentKindOf(path) == catalogue::DocumentKind::Binary) {
    return doc::ReadBinaryPropertyRows(path, outcome);
  }
  std::optional<PropertyTexts> rows;
  std::string reason = "cannot be read as a package (not a ZIP package, damaged, or without property parts)";
  try {
    rows = ooxml::ReadOoxmlProperties(myzip, axml, path);
  } catch (const std::exception& error) {
    // A damaged part or package is a failed read like any other.
    reason = error.what();
  }
  if (!rows && outcome != nullptr) {
    const bool locked = fs::OpenFile(path, fs::OpenMode::Read).error == fs::OpenError::Locked;
    *outcome = locked ? Outcome::Failure(FailureKind::HeldOpen, "held open by another program")
                      : Outcome::Failure(FailureKind::Damaged, reason);
  }
  return rows;
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

Result<DocumentReading> ReadDocument(zip::TPackageZip& myzip, xml::XmlDocument& axml, const std::string& path) {
  const auto record = fs::ReadFileRecord(path);
  if (!record) {
    return fs::DescribeUnrecordedFile(path);
  }
  DocumentReading reading{*record, std::nullopt, Outcome::Success(), false};
  reading.rows = ReadDocumentRows(myzip, axml, path, &reading.outcome);
  // Put back after a failed package read too: the read may already have touched the last-access time.
  reading.restored = RestoreTimesAndAttributes(path, *record);
  return reading;
}

}  // namespace kestrel::change
