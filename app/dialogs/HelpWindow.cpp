#include "app/dialogs/HelpWindow.h"

#include <QTextBrowser>
#include <QVBoxLayout>

namespace kestrel::app {

HelpWindow::HelpWindow(const QUrl& page, QWidget* parent) : QDialog(parent), browser(new QTextBrowser(this)) {
  setObjectName(QStringLiteral("helpWindow"));
  setWindowTitle(QStringLiteral("ヘルプ"));
  browser->setObjectName(QStringLiteral("helpBrowser"));
  browser->setAccessibleName(QStringLiteral("ヘルプ"));
  browser->setOpenExternalLinks(true);
  browser->setSource(page);
  auto* column = new QVBoxLayout(this);
  column->addWidget(browser);
  resize(640, 560);
}

}  // namespace kestrel::app
