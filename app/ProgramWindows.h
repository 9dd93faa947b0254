#pragma once
// The five windows of the program, created in this order and living until it ends: the main
// window, the hint window, the about box and the progress dialogs of the batch change and of the
// CSV export.

#include "app/StatusIcons.h"
#include "app/MainWindow.h"
#include "app/dialogs/HintsDialog.h"
#include "app/dialogs/AboutDialog.h"
#include "app/dialogs/BatchChangeDialog.h"
#include "app/dialogs/CsvExportDialog.h"

namespace kestrel::app {

class ProgramWindows {
 public:
  explicit ProgramWindows(Dialogs& dialogs);
  ProgramWindows(const ProgramWindows&) = delete;
  ProgramWindows& operator=(const ProgramWindows&) = delete;

  StatusIcons icons;
  MainWindow mainWindow;
  HintsDialog hints;
  AboutDialog about;
  BatchChangeDialog batchChange;
  CsvExportDialog csvExport;
};

}  // namespace kestrel::app
