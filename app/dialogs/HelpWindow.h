#pragma once
// The help page in a window of the program's own, for a desktop that cannot open it: the page's
// own links work inside it, and links out of it go to the default handler.

#include <QDialog>
#include <QUrl>

class QTextBrowser;

namespace kestrel::app {

class HelpWindow : public QDialog {
 public:
  HelpWindow(const QUrl& page, QWidget* parent);

  QTextBrowser* const browser;
};

}  // namespace kestrel::app
