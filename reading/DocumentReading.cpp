#include "reading/DocumentReading.h"

#include "catalogue/DocumentKind.h"
#include "platform/fs/FileIo.h"
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
  const std::optional<fs::FileRecord> record = fs::RecordOf(opened, path);
  if (!record) return fs::DescribeUnrecordedFile(path);
  DocumentReading reading{*record, std::nullopt, Outcome::Success(), opened.file != nullptr};
  reading.rows = RowsOf(packages, std::move(opened), path, &reading.outcome);
  return reading;
}

}  // namespace kestrel::reading
