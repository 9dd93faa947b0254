#pragma once
// The progress dialog of the CSV export ("CSVを出力中..."): every listed document's line read
// fresh, gathered in memory and written in one piece at the end; nothing is written after a
// cancel.

#include <QString>

#include <string>
#include <vector>

#include "app/OutcomeText.h"
#include "app/dialogs/ProgressDialog.h"
#include "ooxml/PackageProperties.h"

namespace kestrel::app {

class Dialogs;
class FileListModel;

class CsvExportDialog final : public ProgressDialog {
 public:
  // What an export works on: the listed documents, the main window's package access, and the
  // file chosen in the save dialog.
  struct Export {
    const FileListModel& files;
    ooxml::PackageProperties& packages;
    QString target;
  };

  // `dialogs` shows the message when the target cannot be written.
  CsvExportDialog(Dialogs& dialogs, QWidget* parent);

  // Resets the dialog for an export of `job`, which starts 100 ms after the dialog is shown.
  // `job` must stay alive until the dialog has closed.
  void Prepare(const Export& job);
  // What the last export did.
  const ExportTally& Tally() const { return tally_; }

 private:
  void Run() override;

  Dialogs& dialogs_;
  const Export* job_ = nullptr;
  ExportTally tally_;
};

// Counts the document just handed to the export: written when it added a line to `lines` (after
// the header), left out with `outcome` as its reason when not.
void CountLine(ExportTally& tally, const std::vector<std::string>& lines, const Outcome& outcome);

// Writes the export's lines to `target` and notes in `tally` whether it was saved and how many
// characters became "?".
void SaveLines(ExportTally& tally, const std::string& target, const std::vector<std::string>& lines);

// The message shown when a CSV file cannot be written.
QString CsvNotSavedMessage(const QString& target);

}  // namespace kestrel::app
