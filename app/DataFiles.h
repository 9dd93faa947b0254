#pragma once
// Where the program's own files (the help page) lie: beside the executable in a build tree,
// in share/kestrelpad beside the bin folder once installed.

#include <QString>

namespace kestrel::app {

// The path of the data file `name` for the executable in `programFolder`: beside it when it is
// there, else in ../share/kestrelpad when it is there, else beside it (so a missing file is named
// where a build would put it).
QString DataFilePath(const QString& programFolder, const QString& name);

}  // namespace kestrel::app
