#pragma once
// The files named on the command line as the program's file list holds them: by full path, each
// once, in the order first named; a file named again under another name (a symbolic link, a
// second hard link) is the same file. A document named twice would otherwise be changed twice,
// by two workers at once, and its second backup would replace the original with the once-changed
// document.

#include <string>
#include <vector>

#include "cli/Console.h"

namespace kestrel::cli {

struct ListedFile {
  std::string given;  // as named on the command line, for what the user reads
  std::string path;   // the full path the services get
};

// Tells the console about each name left out because its file came before.
std::vector<ListedFile> ListFiles(const std::vector<std::string>& names, Console& console);

}  // namespace kestrel::cli
