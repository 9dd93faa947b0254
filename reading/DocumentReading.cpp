#include "reading/DocumentReading.h"

#include "catalogue/DocumentKind.h"
#include "platform/fs/FileIo.h"
#include "worddoc/BinaryPropertyRows.h"

namespace kestrel::reading {

std::optional<PropertyTexts> ReadDocumentRows(ooxml::PackageProperties& packages, const std::string& path,
                                              Outcome* outcome) {
  if (outcome != nullptr) *outcome = Outcome::Success();
  if (catalogue::DocumentKindOf(path) == catalogue::DocumentKind::Binary) {
    return worddoc::ReadBinaryPropertyRows(path, outcome);
  }
  Result<PropertyTexts> rows = packages.Read(path);
  if (!rows) {
    if (outcome != nullptr) *outcome = rows.outcome();
    return std::nullopt;
  }
  return std::move(*rows);
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

Result<DocumentReading> ReadDocument(ooxml::PackageProperties& packages, const std::string& path) {
  const auto record = fs::ReadFileRecord(path);
  if (!record) {
    return fs::DescribeUnrecordedFile(path);
  }
  DocumentReading reading{*record, std::nullopt, Outcome::Success(), false};
  reading.rows = ReadDocumentRows(packages, path, &reading.outcome);
  // Put back after a failed package read too: the read may already have touched the last-access time.
  reading.restored = RestoreTimesAndAttributes(path, *record);
  return reading;
}

}  // namespace kestrel::reading
