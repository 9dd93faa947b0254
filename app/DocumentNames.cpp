#include "app/DocumentNames.h"

#include "app/NativePath.h"
#include "catalogue/DocumentKind.h"

namespace kestrel::app {

bool HasOwnerFileMark(const QString& path) { return path.contains(QStringLiteral("~$")); }

bool HasWordExtension(const QString& path) {
  const std::string extension = catalogue::UpperExtension(NativePath(path));
  return extension == ".DOC" || extension == ".DOCX";
}

}  // namespace kestrel::app
