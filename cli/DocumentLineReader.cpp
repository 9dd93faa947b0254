#include "cli/DocumentLineReader.h"

#include "cli/DocumentPool.h"
#include "cli/FullPath.h"
#include "export/CsvDocumentLine.h"
#include "export/JsonDocumentLine.h"
#include "export/PropertyListing.h"
#include "ooxml/PackageProperties.h"

namespace kestrel::cli {
namespace {

void TellProblem(Console& console, const std::string& file, const DocumentLine& line, LineForm form) {
  const bool json = form == LineForm::Json || form == LineForm::JsonEveryProperty;
  const char* consequence = json                                        ? "its object says so in \"error\""
                            : line.lines.empty()                        ? "it has no line"
                            : line.read.kind() == FailureKind::NotFound ? "its line holds only its path and name"
                            : form == LineForm::EveryProperty           ? "not every property of it is listed"
                                                                        : "its property fields are empty";
  console.Problem(file, line.read.message() + "; " + consequence);
}

}  // namespace

bool ReadDocumentLines(const std::vector<std::string>& files, std::size_t workers, Console& console,
                       const std::function<void(const std::string& file, const DocumentLine&)>& take,
                       LineForm form) {
  const auto append = form == LineForm::EveryProperty       ? csv::AppendPropertyListing
                      : form == LineForm::Json              ? json::AppendDocumentObject
                      : form == LineForm::JsonEveryProperty ? json::AppendEveryPropertyObject
                                                            : csv::AppendDocumentLine;
  DocumentPool pool(workers, kReadingBatch);
  // Each worker its own: the ZIP component caches.
  std::vector<ooxml::PackageProperties> packages(pool.Workers());
  bool allRead = true;
  pool.RunInOrder<DocumentLine>(
      files.size(),
      [&](std::size_t index, std::size_t worker) {
        DocumentLine line;
        line.read = append(packages[worker], files[index], FullPath(files[index]), line.lines);
        return line;
      },
      [&](std::size_t index, const DocumentLine& line) {
        if (!line.read) TellProblem(console, files[index], line, form);
        allRead = line.read.ok() && allRead;
        take(files[index], line);
      });
  return allRead;
}

}  // namespace kestrel::cli
