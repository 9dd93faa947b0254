#pragma once
// The files named on the program's command line: what a file manager's "open with" passes
// (file:// URLs) and what a user types (paths, relative to the current folder).

#include <QStringList>

namespace kestrel::app {

// The local path of each argument, in order: a file:// URL decoded, a path made absolute. Other
// URLs give paths that name no file, which the file list's doors leave out.
QStringList FilesOnCommandLine(const QStringList& arguments);

}  // namespace kestrel::app
