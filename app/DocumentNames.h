#pragma once
// What the folder and drop doors of the file list let in by name.

#include <QString>

namespace kestrel::app {

// "~$" anywhere in the path: the owner files Word leaves beside open documents, and anything in
// a folder named like one.
bool HasOwnerFileMark(const QString& path);

// The file name's extension, upper-cased, is ".DOC" or ".DOCX".
bool HasWordExtension(const QString& path);

}  // namespace kestrel::app
