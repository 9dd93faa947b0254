#include "cli/DocumentLineReader.h"

#include "catalogue/DocumentKind.h"
#include "cli/FileDiagnosis.h"
#include "export/CsvDocumentLine.h"
#include "export/CsvLines.h"
#include "platform/storage/CompoundFile.h"

namespace kestrel::cli {
namespace {

// The line the export gives a file it cannot look up: path, name and the comma after the name.
bool IsPathOnlyLine(const std::string& line, const std::string& path) {
  std::string pathOnly;
  csv::AppendField(pathOnly, path, false);
  csv::AppendField(pathOnly, csv::CsvFileName(path), false);
  return line == pathOnly;
}

}  // namespace

bool DocumentLineReader::Append(const ListedFile& file, std::vector<std::string>& lines) {
  const std::string& given = file.given;
  const std::string& path = file.path;
  const std::size_t before = lines.size();
  csv::AppendDocumentLine(myzip_, axml_, path, lines);

  if (lines.size() == before) {
    console_.Problem(given, LockedAgainstReading(path)
                                ? "held open by another program; it has no line"
                                : "cannot be read as a package (not a ZIP package, damaged, or without property "
                                  "parts); it has no line");
    return false;
  }
  if (IsPathOnlyLine(lines.back(), path)) {
    console_.Problem(given, WhyNotAFile(path) + "; its line holds only its path and name");
    return false;
  }
  if (catalogue::DocumentKindOf(path) == catalogue::DocumentKind::Binary) {
    // The binary reading never fails: these get a line with empty property fields, said here.
    if (LockedAgainstReading(path)) {
      console_.Problem(given, "held open by another program; its property fields are empty");
      return false;
    }
    if (!storage::CompoundFile::IsCompoundFile(path)) {
      console_.Problem(given, "not a compound file, so not a Word document; its property fields are empty");
      return false;
    }
  }
  return true;
}

}  // namespace kestrel::cli
