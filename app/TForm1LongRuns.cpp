// The batch change over every listed file and the CSV export (of every listed file, or of the
// selected one), with the save dialog that names the CSV file.
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QFileInfo>
#include <QScopedValueRollback>
#include <QStatusBar>

#include "app/Dialogs.h"
#include "app/FileListModel.h"
#include "app/FileListView.h"
#include "app/NativePath.h"
#include "app/OutcomeText.h"
#include "app/TForm1.h"
#include "app/WaitCursor.h"
#include "app/dialogs/TForm7.h"
#include "app/dialogs/TForm9.h"
#include "export/CsvDocumentLine.h"
#include "export/CsvLines.h"

namespace kestrel::app {
namespace {

const QString kCsvFilter = QStringLiteral("CSV File|*.CSV");

// A name typed without any extension gets ".CSV".
QString WithDefaultExtension(const QString& name) {
  return QFileInfo(name).fileName().contains(u'.') ? name : name + QStringLiteral(".CSV");
}

}  // namespace

std::optional<QString> TForm1::SaveDialog1Execute() {
  // Declining to replace an existing file goes back to the dialog, as the desktop's own does.
  for (;;) {
    const std::optional<QString> chosen = dialogs_.ChooseSaveFile(this, kCsvFilter);
    if (!chosen) return std::nullopt;
    const QString name = WithDefaultExtension(*chosen);
    if (!QFileInfo::exists(name)) return name;
    if (dialogs_.AskYesNo(this, QFileInfo(name).fileName() + QStringLiteral(" は既に存在します。\n上書きしますか?"),
                          QStringLiteral("名前を付けて保存の確認"))) {
      return name;
    }
  }
}

void TForm1::SelectFirstFile() {
  ListView1->clearSelection();
  if (files_->rowCount() > 0) SelectFile(0);
}

void TForm1::BitBtn2Click() {
  // The dialog blocks the window while a run is under way; this keeps any other way in out too.
  if (longRunBusy_) return;
  const QScopedValueRollback<bool> busy(longRunBusy_, true);
  if (files_->rowCount() == 0) {
    ShowMessage(QStringLiteral("変更したいファイルを選択する!"));
    return;
  }
  const catalogue::BatchValues values = BatchTabValues();
  if (!catalogue::AsksForChange(values)) {
    ShowMessage(QStringLiteral("変更したいファイル属性を設定する.\n変更したいファイル属性を選択してください!"));
    return;
  }
  files_->ResetStatuses();
  QCoreApplication::processEvents();
  const TForm7::Batch batch{*files_, packages_, change::ChangeRequest::Batch(values), values.backup};
  form7_->Prepare(batch);
  dialogs_.ShowModal(*form7_);
  // The first file is read again, so the single tab shows what the run left in it.
  SelectFirstFile();
  StatusBar1->showMessage(BatchTallyText(form7_->Tally()));
}

void TForm1::BitBtn8Click() {
  if (longRunBusy_) return;
  const QScopedValueRollback<bool> busy(longRunBusy_, true);
  if (files_->rowCount() == 0) {
    ShowMessage(QStringLiteral("プロパティをCSVに出力するファイルを選択してください。"));
    return;
  }
  const std::optional<QString> target = SaveDialog1Execute();
  if (!target) return;
  files_->ResetStatuses();
  QCoreApplication::processEvents();
  const TForm9::Export job{*files_, packages_, *target};
  form9_->Prepare(job);
  dialogs_.ShowModal(*form9_);
  SelectFirstFile();
  StatusBar1->showMessage(ExportTallyText(form9_->Tally()));
}

void TForm1::BitBtn9Click() {
  const int row = ListView1->SelectedRow();
  // Only a document that was read can be exported alone (the button is off otherwise).
  if (row < 0 || !shownSingleTab_) return;
  const QString path = files_->Path(row);
  const std::optional<QString> target = SaveDialog1Execute();
  if (!target) return;
  const WaitCursor waiting;
  std::vector<std::string> lines{csv::CsvHeaderLine()};
  ExportTally tally;
  CountLine(tally, lines, csv::AppendDocumentLine(packages_, NativePath(path), lines));
  SaveLines(tally, NativePath(*target), lines);
  if (!tally.saved) ShowMessage(CsvNotSavedMessage(*target));
  StatusBar1->showMessage(ExportTallyText(tally));
}

}  // namespace kestrel::app
