#pragma once
// File names between Qt's texts and the services' byte strings.

#include <string>

#include <QFile>
#include <QString>

namespace kestrel::app {

inline std::string NativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

inline QString QtPath(const std::string& path) {
  return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

}  // namespace kestrel::app
