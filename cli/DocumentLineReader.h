#pragma once
// The CSV line of each document, read as the program's export reads it, on the document pool,
// with what went wrong with a file told on the console in the order the files were given.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "cli/Console.h"
#include "platform/Outcome.h"

namespace kestrel::cli {

struct DocumentLine {
  // A failure when the document was not read in full: missing, not a file, held open, no
  // package, no compound file.
  Outcome read = Outcome::Success();
  std::vector<std::string> lines;  // its lines (UTF-8, no line end), or none for a package that cannot be read
};

// What each document's lines are.
enum class LineForm {
  Export,              // the export's line (csv::AppendDocumentLine)
  EveryProperty,       // its listing of every property (csv::AppendPropertyListing)
  Json,                // its JSON object (json::AppendDocumentObject)
  JsonEveryProperty,   // the same with its custom and other properties
};

// The lines of each document in `form`. take(file, line) for each file in order, after its
// problem was told. True when every document was read in full.
bool ReadDocumentLines(const std::vector<std::string>& files, std::size_t workers, Console& console,
                       const std::function<void(const std::string& file, const DocumentLine&)>& take,
                       LineForm form = LineForm::Export);

}  // namespace kestrel::cli
