#pragma once
// The files named on the command line, each once, in the order first named; a file named again under another name (a symbolic link, a
// second hard link) is the same file. A document named twice would otherwise be changed twice,
// by two workers at once, and its second backup would replace the original with the once-changed
// document.

#include <string>
#include <vector>

#include "cli/Console.h"

namespace kestrel::cli {

// The names of the files, as named on the command line: what the user reads, and what the
// services get, so that a relative name works from a working folder too deep for any full path.
// Tells the console about each name left out because its file came before. Holds little beyond
// the names themselves, however many there are.
std::vector<std::string> ListFiles(std::vector<std::string> names, Console& console);

}  // namespace kestrel::cli
