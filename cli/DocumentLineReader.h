#pragma once
// The CSV line of each document, read as the program's export reads it, with what went wrong
// with a file told on the console. Holds the one ZIP and XML component of the process.

#include <string>
#include <vector>

#include "cli/Console.h"
#include "cli/FileList.h"
#include "ooxml/PackageProperties.h"
#include "platform/Outcome.h"

namespace kestrel::cli {

class DocumentLineReader {
 public:
  explicit DocumentLineReader(Console& console) : console_(console) {}

  // Appends the file's line (UTF-8, no line end), or none for a package that cannot be read.
  // A failure, also told on the console, when the document was not read in full: missing, not a
  // file, held open, no package, no compound file.
  Outcome Append(const ListedFile& file, std::vector<std::string>& lines);

 private:
  Console& console_;
  ooxml::PackageProperties packages_;
};

}  // namespace kestrel::cli
