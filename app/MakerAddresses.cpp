#include "app/MakerAddresses.h"

#include "app/ApplicationTitle.h"

namespace kestrel::app {

QUrl SupportMailUrl() {
  return QUrl(QStringLiteral("mailto:%1?subject=%2").arg(kSupportAddress, ApplicationTitle()));
}

}  // namespace kestrel::app
