// The help menu and the hint buttons.
#include <QCoreApplication>
#include <QUrl>

#include "app/DataFiles.h"
#include "app/Dialogs.h"
#include "app/MakerAddresses.h"
#include "app/TForm1.h"
#include "app/dialogs/TForm4.h"
#include "app/dialogs/TForm5.h"

namespace kestrel::app {

void TForm1::ShowHints() {
  if (hints_ != nullptr) dialogs_.ShowModal(*hints_);
}

void TForm1::Showhint1Click() {
  CloseEditors();
  ShowHints();
}

void TForm1::about1Click() {
  CloseEditors();
  if (about_ != nullptr) dialogs_.ShowModal(*about_);
}

void TForm1::help2Click() {
  CloseEditors();
  // Found from the executable, wherever the program was started from.
  dialogs_.OpenWithDefaultHandler(
      QUrl::fromLocalFile(DataFilePath(QCoreApplication::applicationDirPath(), QStringLiteral("Help.html"))));
}

void TForm1::Helponline1Click() {
  CloseEditors();
  dialogs_.OpenWithDefaultHandler(QUrl(kOnlineHelpPage));
}

void TForm1::HomepageClick() {
  CloseEditors();
  dialogs_.OpenWithDefaultHandler(QUrl(kHomePage));
}

void TForm1::Emailsupport1Click() {
  CloseEditors();
  dialogs_.OpenWithDefaultHandler(SupportMailUrl());
}

}  // namespace kestrel::app
