#include "app/DataFiles.h"

#include <QDir>
#include <QFileInfo>

namespace kestrel::app {

QString DataFilePath(const QString& programFolder, const QString& name) {
  const QDir folder(programFolder);
  const QString beside = folder.filePath(name);
  if (QFileInfo::exists(beside)) return beside;
  const QString installed = QDir::cleanPath(folder.filePath(QStringLiteral("../share/kestrelpad/") + name));
  return QFileInfo::exists(installed) ? installed : beside;
}

}  // namespace kestrel::app
