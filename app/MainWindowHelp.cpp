// The help menu and the hint buttons.
#include <QCoreApplication>
#include <QUrl>

#include "app/DataFiles.h"
#include "app/Dialogs.h"
#include "app/MakerAddresses.h"
#include "app/MainWindow.h"
#include "app/dialogs/HintsDialog.h"
#include "app/dialogs/AboutDialog.h"

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
  dialogs_.OpenWithDefaultHandler(
      QUrl::fromLocalFile(DataFilePath(QCoreApplication::applicationDirPath(), QStringLiteral("Help.html"))));
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
