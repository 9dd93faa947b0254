#pragma once
// What the doors of the file list let in by name, and the open dialog's filters.

#include <QString>
#include <QStringList>

namespace kestrel::app {

// "~$" anywhere in the path: the owner files Word leaves beside open documents, and anything in
// a folder named like one.
bool HasOwnerFileMark(const QString& path);

// The file name's extension, in any case, is one of the Office or OpenDocument files the catalogue
// knows.
bool HasDocumentExtension(const QString& path);

// The open dialog's filters as text|patterns pairs: Word documents first (the default), then
// every Office document, then every OpenDocument file.
QString OpenDialogFilter();

// Names in the order a desktop file browser lists them: letter case ignored, runs of digits by
// their value ("2" before "10").
void SortNaturally(QStringList& names);

}  // namespace kestrel::app
