#pragma once
// What the folder and drop doors of the file list let in by name.

#include <QString>
#include <QStringList>

namespace kestrel::app {

// "~$" anywhere in the path: the owner files Word leaves beside open documents, and anything in
// a folder named like one.
bool HasOwnerFileMark(const QString& path);

// The file name's extension, upper-cased, is ".DOC" or ".DOCX".
bool HasWordExtension(const QString& path);

// Names in the order a desktop file browser lists them: letter case ignored, runs of digits by
// their value ("2" before "10").
void SortNaturally(QStringList& names);

}  // namespace kestrel::app
