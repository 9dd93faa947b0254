#include "app/dialogs/CsvExportDialog.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <QScreen>
#include <QStyle>

#include "app/ApplicationTitle.h"
#include "app/Dialogs.h"
#include "app/FileListModel.h"
#include "app/NativePath.h"
#include "app/OutcomeText.h"
#include "export/CsvDocumentLine.h"
#include "export/CsvLines.h"

namespace kestrel::app {

QString CsvNotSavedMessage(const QString& target) {
  return target + QStringLiteral("\nを保存できません、このファイルを開いている他のアプリケーションを終了してください。");
}

CsvExportDialog::CsvExportDialog(Dialogs& dialogs, QWidget* parent)
    : ProgressDialog(QStringLiteral("CSVを出力中..."), parent), dialogs_(dialogs) {
  // A sizeable frame of 364 × 126 outside leaves about this much inside.
  resize(348, 88);
  setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen()->availableGeometry()));
}

void CsvExportDialog::Prepare(const Export& job) {
  job_ = &job;
  tally_ = {};
  Reset();
}

void CsvExportDialog::Run() {
  const FileListModel& files = job_->files;
  const int count = files.rowCount();
  PendingEvents();
  std::vector<std::string> lines{csv::CsvHeaderLine()};
  for (int index = 0; index < count && index < files.rowCount(); ++index) {
    if (Cancelled()) break;
    const QString path = files.Path(index);
    ShowDocument(path);
    PendingEvents();
    CountLine(tally_, lines, csv::AppendDocumentLine(job_->packages, NativePath(path), NativePath(path), lines));
    ShowProgress(index + 1, count);
    PendingEvents();
  }
  FillBar();
  tally_.cancelled = Cancelled();
  if (!tally_.cancelled) {
    SaveLines(tally_, NativePath(job_->target), lines);
    if (!tally_.saved) dialogs_.ShowMessage(this, CsvNotSavedMessage(job_->target), ApplicationTitle());
  }
  job_ = nullptr;
  CloseDialog();
}

void SaveLines(ExportTally& tally, const std::string& target, const std::vector<std::string>& lines) {
  const Result<std::size_t> replaced = csv::WriteCsvLines(target, lines);
  tally.saved = replaced ? Outcome::Success() : replaced.outcome();
  tally.replaced = replaced ? static_cast<int>(*replaced) : 0;
}

void CountLine(ExportTally& tally, const std::vector<std::string>& lines, const Outcome& outcome) {
  // After the header, one line per document written so far; a document that added none was left out.
  if (static_cast<int>(lines.size()) - 1 > tally.written) {
    ++tally.written;
  } else {
    if (tally.leftOut == 0) tally.firstLeftOut = outcome;
    ++tally.leftOut;
  }
}

}  // namespace kestrel::app
