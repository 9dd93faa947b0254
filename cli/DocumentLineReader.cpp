#include "cli/DocumentLineReader.h"

#include "export/CsvDocumentLine.h"

namespace kestrel::cli {

Outcome DocumentLineReader::Append(const ListedFile& file, std::vector<std::string>& lines) {
  const std::size_t before = lines.size();
  const Outcome read = csv::AppendDocumentLine(packages_, file.path, lines);
  if (read) return read;
  const char* consequence = lines.size() == before             ? "it has no line"
                            : read.kind() == FailureKind::NotFound ? "its line holds only its path and name"
                                                                   : "its property fields are empty";
  console_.Problem(file.given, read.message() + "; " + consequence);
  return read;
}

}  // namespace kestrel::cli
