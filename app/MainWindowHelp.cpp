// The help menu and the hint buttons.
#include <QCoreApplication>
#include <QUrl>

#include "app/DataFiles.h"
#include "app/Dialogs.h"
#include "app/MakerAddresses.h"
#include "app/MainWindow.h"
#include "app/dialogs/HintsDialog.h"
#include "app/dialogs/AboutDialog.h"
#include "app/dialogs/HelpWindow.h"

namespace kestrel::app {

void MainWindow::ShowHints() {
  if (hints_ != nullptr) dialogs_.ShowModal(*hints_);
}

void MainWindow::ShowHintsFromMenu() {
  CloseEditors();
  ShowHints();
}

void MainWindow::ShowAbout() {
  CloseEditors();
  if (about_ != nullptr) dialogs_.ShowModal(*about_);
}

void MainWindow::ShowHelp() {
  CloseEditors();
  // Found from the executable, wherever the program was started from.
  const QUrl page = QUrl::fromLocalFile(DataFilePath(QCoreApplication::applicationDirPath(), QStringLiteral("Help.html")));
  if (dialogs_.OpenWithDefaultHandler(page)) return;
  // A desktop without a browser for it still gets its help.
  auto* window = findChild<HelpWindow*>(QStringLiteral("helpWindow"), Qt::FindDirectChildrenOnly);
  if (window == nullptr) window = new HelpWindow(page, this);
  window->show();
  window->raise();
  window->activateWindow();
}

void MainWindow::ShowOnlineHelp() {
  CloseEditors();
  dialogs_.OpenWithDefaultHandler(QUrl(kOnlineHelpPage));
}

void MainWindow::ShowHomePage() {
  CloseEditors();
  dialogs_.OpenWithDefaultHandler(QUrl(kHomePage));
}

void MainWindow::EmailSupport() {
  CloseEditors();
  dialogs_.OpenWithDefaultHandler(SupportMailUrl());
}

}  // namespace kestrel::app
