#include "app/ProgramWindows.h"

namespace kestrel::app {

// Members are built in the order they are declared, which is the order of the windows.
ProgramWindows::ProgramWindows(Dialogs& dialogs)
    : mainWindow(dialogs, icons),
      hints(icons, nullptr),
      about(dialogs, icons, nullptr),
      batchChange(nullptr),
      csvExport(dialogs, nullptr) {
  mainWindow.SetHelpWindows(hints, about);
  mainWindow.SetProgressDialogs(batchChange, csvExport);
  for (QDialog* dialog : std::initializer_list<QDialog*>{&hints, &about, &batchChange, &csvExport}) {
    dialog->setWindowIcon(icons.ProgramIcon());
    dialog->setModal(true);
  }
  mainWindow.setWindowIcon(icons.ProgramIcon());
}

}  // namespace kestrel::app
