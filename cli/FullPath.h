#pragma once
// The full path of a file named on the command line: the program's file list holds full paths,
// and the CSV's first column shows them.

#include <string>

namespace kestrel::cli {

// Made absolute against the working folder, without inner "." steps and doubled slashes. ".." steps
// stay, since resolving them by name could reach another file than a symbolic link leads to.
// The path as given when it is empty or the working folder is unknown.
std::string FullPath(const std::string& given);

}  // namespace kestrel::cli
