#pragma once
// The whole command line: the command name, then its words.

#include <string>
#include <vector>

#include "cli/Console.h"

namespace kestrel::cli {

// The exit status. A usage error is told on the error stream with the command's usage line.
int Run(std::vector<std::string> words, Console& console);

}  // namespace kestrel::cli
