#include "app/CommandLine.h"

#include <QFileInfo>
#include <QUrl>

namespace kestrel::app {

QStringList FilesOnCommandLine(const QStringList& arguments) {
  QStringList paths;
  for (const QString& argument : arguments) {
    // Only a file URL is read as one: a plain name may hold a colon ("report:2020.doc").
    const QUrl url(argument);
    const bool fileUrl = argument.startsWith(QStringLiteral("file:"), Qt::CaseInsensitive) && url.isLocalFile();
    paths << QFileInfo(fileUrl ? url.toLocalFile() : argument).absoluteFilePath();
  }
  return paths;
}

}  // namespace kestrel::app
