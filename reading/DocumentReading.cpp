#include "reading/DocumentReading.h"

#include "catalogue/DocumentKind.h"
#include "worddoc/BinaryPropertyRows.h"

namespace kestrel::reading {

namespace {

std::optional<PropertyTexts> RowsOf(ooxml::PackageProperties& packages, fs::OpenResult opened,
                                    const std::string& path, Outcome* outcome) {
  if (outcome != nullptr) *outcome = Outcome::Success();
  if (catalogue::DocumentKindOf(path) == catalogue::DocumentKind::Binary) {
    return worddoc::ReadBinaryPropertyRows(std::move(opened), path, outcome);
  }
  Result<PropertyTexts> rows = opened.file ? packages.Read(*opened.file, path) : Result<PropertyTexts>(fs::DescribeOpenError(opened));
  if (!rows) {
    if (outcome != nullptr) *outcome = rows.outcome();
    return std::nullopt;
  }
  return std::move(*rows);
}

}  // namespace

std::optional<PropertyTexts> ReadDocumentRows(ooxml::PackageProperties& packages, const std::string& path,
                                              Outcome* outcome) {
  return RowsOf(packages, fs::OpenForReading(path), path, outcome);
}

Result<DocumentReading> ReadDocument(ooxml::PackageProperties& packages, const std::string& path) {
  fs::OpenResult opened = fs::OpenForReading(path);
  // Recorded on the open file; by its path when it could not be opened (held by another program)
  // or is not on a disk.
  std::optional<fs::FileRecord> record = opened.file ? opened.file->Record() : std::nullopt;
  if (!record) record = fs::ReadFileRecord(path);
  if (!record) return fs::DescribeUnrecordedFile(path);
  DocumentReading reading{*record, std::nullopt, Outcome::Success(), opened.file != nullptr};
  reading.rows = RowsOf(packages, std::move(opened), path, &reading.outcome);
  return reading;
}

}  // namespace kestrel::reading
