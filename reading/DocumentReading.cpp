#include "reading/DocumentReading.h"

#include "catalogue/DocumentKind.h"
#include "odf/OpenDocumentPackage.h"
#include "platform/fs/FileIo.h"
#include "worddoc/BinaryDocument.h"

namespace kestrel::reading {

Result<OpenedDocument> OpenDocument(ooxml::PackageProperties& packages, const std::string& path) {
  fs::OpenResult opened = fs::OpenForReading(path);
  std::optional<fs::FileRecord> record = fs::RecordOf(opened, path);
  if (!record) return fs::DescribeUnrecordedFile(path);
  OpenedDocument document{*record, fs::DescribeOpenError(opened), nullptr};
  switch (catalogue::DocumentKindOf(path)) {
    case catalogue::DocumentKind::Ooxml:
      document.document = packages.Open(std::move(opened), path);
      break;
    case catalogue::DocumentKind::OpenDocument:
      document.document = odf::OpenPackage(packages, std::move(opened), path);
      break;
    case catalogue::DocumentKind::Binary:
      document.document = std::make_unique<worddoc::BinaryDocument>(std::move(opened), path, std::move(*record));
      break;
  }
  return document;
}

std::optional<PropertyTexts> ReadDocumentRows(ooxml::PackageProperties& packages, const std::string& path,
                                              Outcome* outcome) {
  Result<OpenedDocument> document = OpenDocument(packages, path);
  catalogue::DocumentRows rows = document ? document->document->Rows()
                                          : catalogue::DocumentRows{std::nullopt, document.outcome()};
  if (outcome != nullptr) *outcome = rows.outcome;
  return std::move(rows.texts);
}

Result<DocumentReading> ReadDocument(ooxml::PackageProperties& packages, const std::string& path, bool withOthers) {
  Result<OpenedDocument> document = OpenDocument(packages, path);
  if (!document) return document.outcome();
  catalogue::DocumentRows rows = document->document->Rows();
  DocumentReading reading{document->record, std::move(rows.texts), std::move(rows.outcome), document->opened.ok()};
  if (withOthers) reading.others = document->document->OtherProperties();
  return reading;
}

}  // namespace kestrel::reading
