// The batch change over every listed file and the CSV export (of every listed file, or of the
// selected one), with the save dialog that names the CSV file.
#include <string>
#include <vector>

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QScopedValueRollback>
#include <QStatusBar>

#include "app/Dialogs.h"
#include "app/FileListModel.h"
#include "app/FileListView.h"
#include "app/NativePath.h"
#include "app/OffThread.h"
#include "app/OutcomeText.h"
#include "app/MainWindow.h"
#include "app/WaitCursor.h"
#include "app/dialogs/BatchChangeDialog.h"
#include "app/dialogs/CsvExportDialog.h"
#include "app/dialogs/PersonalInfoDialog.h"
#include "app/dialogs/SheetPreviewDialog.h"
#include "app/OtherPropertiesPanel.h"
#include "export/CsvDocumentLine.h"
#include "export/CsvLines.h"
#include "sheet/LinePlan.h"
#include "sheet/SheetFile.h"

namespace kestrel::app {
namespace {

const QString kCsvFilter = QStringLiteral("CSV File|*.CSV");

// A name typed without any extension gets ".CSV".
QString WithDefaultExtension(const QString& name) {
  return QFileInfo(name).fileName().contains(u'.') ? name : name + QStringLiteral(".CSV");
}

// A run that ended early says so after its counts.
QString WithAbandonment(const QString& tally, const ProgressDialog& run) {
  if (run.Abandoned().isEmpty()) return tally;
  return tally + QStringLiteral("（途中で中断しました: %1）").arg(run.Abandoned());
}

}  // namespace

std::optional<QString> MainWindow::AskCsvTarget() {
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

void MainWindow::SelectFirstFile() {
  fileList_->clearSelection();
  if (files_->rowCount() > 0) SelectFile(0);
}

void MainWindow::ChangeAllFiles() {
  // The dialog blocks the window while a run is under way; this keeps any other way in out too.
  if (longRunBusy_) return;
  const QScopedValueRollback<bool> busy(longRunBusy_, true);
  if (files_->rowCount() == 0) {
    ShowMessage(QStringLiteral("変更したいファイルを選択する!"));
    return;
  }
  const catalogue::BatchValues values = BatchTabValues();
  change::ChangeRequest request = change::ChangeRequest::Batch(values);
  request.others = batchOthers_->Edits();
  if (!catalogue::AsksForChange(values) && request.others.Empty()) {
    ShowMessage(QStringLiteral("変更したいファイル属性を設定する.\n変更したいファイル属性を選択してください!"));
    return;
  }
  RunBatch(request, values.backup);
}

void MainWindow::RemovePersonalInformation() {
  if (longRunBusy_) return;
  const QScopedValueRollback<bool> busy(longRunBusy_, true);
  if (files_->rowCount() == 0) {
    ShowMessage(QStringLiteral("個人情報を削除するファイルを追加してください。"));
    return;
  }
  PersonalInfoDialog dialog(this);
  dialogs_.ShowModal(dialog);
  const std::vector<catalogue::PersonalItem> items = dialog.Chosen();
  if (dialog.result() != QDialog::Accepted || items.empty()) return;
  RunBatch(change::ChangeRequest::Removal(items), batchBackupBox_->isChecked());
}

void MainWindow::ChangeFromSheet() {
  if (longRunBusy_) return;
  const QScopedValueRollback<bool> busy(longRunBusy_, true);
  CloseEditors();
  const std::optional<QStringList> chosen = dialogs_.ChooseFiles(this, QStringLiteral("CSV File|*.CSV;*.csv"));
  if (!chosen || chosen->isEmpty()) return;
  // Every document the sheet names is read: off the window's thread, which goes on painting.
  struct Planned {
    Outcome read = Outcome::Success();
    std::vector<sheet::LinePlan> plans;
    std::vector<SheetPreviewDialog::Refusal> refusals;
  };
  const std::string file = NativePath(chosen->front());
  Planned planned;
  {
    const WaitCursor waiting;
    planned = RunOffThread([&] {
      Planned result;
      const Result<sheet::Sheet> read = sheet::ReadSheet(file);
      if (!read) {
        result.read = read.outcome();
        return result;
      }
      const std::vector<std::optional<std::size_t>> earlier = sheet::EarlierLinesOfSameDocument(*read);
      for (std::size_t index = 0; index < read->lines.size(); ++index) {
        Result<sheet::LinePlan> plan = sheet::PlanSheetLine(packages_, *read, index, earlier);
        if (plan) {
          result.plans.push_back(std::move(*plan));
        } else {
          result.refusals.push_back({read->lines[index].number, QString::fromStdString(plan.outcome().message())});
        }
      }
      return result;
    });
  }
  if (!planned.read) {
    ShowMessage(QStringLiteral("CSVファイルを読み込めません。\n") + QString::fromStdString(planned.read.message()));
    return;
  }
  std::vector<sheet::LinePlan>& plans = planned.plans;
  SheetPreviewDialog preview(this);
  preview.Show(plans, planned.refusals);
  dialogs_.ShowModal(preview);
  if (preview.result() != QDialog::Accepted) return;
  // The documents the sheet changes are listed, so that their icons tell how each went.
  for (const sheet::LinePlan& plan : plans) {
    if (!plan.differences.empty()) files_->Stage(QString::fromStdString(plan.document));
  }
  if (AppendStagedFiles() > 0) EnableAfterAdding();
  std::vector<int> rows;
  std::vector<change::ChangeRequest> requests;
  for (sheet::LinePlan& plan : plans) {
    if (plan.differences.empty()) continue;
    for (int row = 0; row < files_->rowCount(); ++row) {
      if (files_->Path(row) != QString::fromStdString(plan.document)) continue;
      rows.push_back(row);
      requests.push_back(std::move(plan.request));
      break;
    }
  }
  RunBatch({}, batchBackupBox_->isChecked(), std::move(rows), std::move(requests));
}

void MainWindow::RunBatch(const change::ChangeRequest& request, bool backup, std::vector<int> rows,
                          std::vector<change::ChangeRequest> requests) {
  files_->ResetStatuses();
  QCoreApplication::processEvents();
  const BatchChangeDialog::Batch batch{*files_, packages_, request, backup, std::move(rows), std::move(requests)};
  batchChange_->Prepare(batch);
  dialogs_.ShowModal(*batchChange_);
  // The first file is read again, so the single tab shows what the run left in it.
  SelectFirstFile();
  statusLine_->showMessage(WithAbandonment(BatchTallyText(batchChange_->Tally()), *batchChange_));
}

void MainWindow::ExportAllFiles() {
  if (longRunBusy_) return;
  const QScopedValueRollback<bool> busy(longRunBusy_, true);
  if (files_->rowCount() == 0) {
    ShowMessage(QStringLiteral("プロパティをCSVに出力するファイルを選択してください。"));
    return;
  }
  const std::optional<QString> target = AskCsvTarget();
  if (!target) return;
  files_->ResetStatuses();
  QCoreApplication::processEvents();
  const CsvExportDialog::Export job{*files_, packages_, *target};
  csvExport_->Prepare(job);
  dialogs_.ShowModal(*csvExport_);
  SelectFirstFile();
  statusLine_->showMessage(WithAbandonment(ExportTallyText(csvExport_->Tally()), *csvExport_));
}

void MainWindow::ExportSelectedFile() {
  const int row = fileList_->SelectedRow();
  // Only a document that was read can be exported alone (the button is off otherwise).
  if (row < 0 || !shownSingleTab_) return;
  const QString path = files_->Path(row);
  const std::optional<QString> target = AskCsvTarget();
  if (!target) return;
  const WaitCursor waiting;
  std::vector<std::string> lines{csv::CsvHeaderLine()};
  ExportTally tally;
  CountLine(tally, lines, csv::AppendDocumentLine(packages_, NativePath(path), NativePath(path), lines));
  SaveLines(tally, NativePath(*target), lines);
  if (!tally.saved) ShowMessage(CsvNotSavedMessage(*target));
  statusLine_->showMessage(ExportTallyText(tally));
}

}  // namespace kestrel::app
