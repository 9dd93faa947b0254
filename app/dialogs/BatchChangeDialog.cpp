#include "app/dialogs/BatchChangeDialog.h"

#include <string>

#include <QLabel>
#include <QScreen>
#include <QStyle>

#include "app/FileListModel.h"
#include "app/NativePath.h"
#include "app/OffThread.h"
#include "app/OutcomeText.h"
#include "change/Backup.h"

namespace kestrel::app {

BatchChangeDialog::BatchChangeDialog(QWidget* parent) : ProgressDialog(QStringLiteral("変更中..."), parent) {
  setFixedSize(349, 91);
  setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen()->availableGeometry()));
}

void BatchChangeDialog::Prepare(const Batch& batch) {
  batch_ = &batch;
  tally_ = {};
  Reset();
}

void BatchChangeDialog::Run() {
  FileListModel& files = batch_->files;
  const bool chosen = !batch_->rows.empty();
  const int count = chosen ? static_cast<int>(batch_->rows.size()) : files.rowCount();
  PendingEvents();
  // The events let the dialog repaint and the cancel button be pressed; a press counts from the
  // next document on, so the one at hand is always finished.
  for (int index = 0; index < count; ++index) {
    const int row = chosen ? batch_->rows[static_cast<std::size_t>(index)] : index;
    if (Cancelled() || row >= files.rowCount()) break;
    ShowDocument(files.Path(row));
    if (!ChangeDocument(row, chosen ? batch_->requests.at(static_cast<std::size_t>(index)) : batch_->request)) break;
    ShowProgress(index + 1, count);
    PendingEvents();
  }
  tally_.notReached = count - tally_.changed - tally_.failed;
  FillBar();
  batch_ = nullptr;
  CloseDialog();
}

bool BatchChangeDialog::ChangeDocument(int index, const change::ChangeRequest& request) {
  FileListModel& files = batch_->files;
  const std::string path = NativePath(files.Path(index));
  // What would refuse the change is found before its backup: such a document fails with its
  // reason, gets no backup, and the run goes on.
  Result<change::PreparedChange> prepared =
      RunOffThread([&] { return change::PrepareChange(batch_->packages, path, request); });
  if (prepared && !prepared->AlreadySo() && batch_->backup) {
    const Outcome backedUp = RunOffThread([&path] { return change::BackUpDocument(path); });
    if (!backedUp) {
      // The run ends at a document it could not back up, without a message box; the window's
      // status bar says so afterwards.
      files.SetStatus(index, FileStatus::ChangeError, BackupFailureText(backedUp));
      tally_.stoppedAt = files.Path(index);
      tally_.backupFailure = backedUp;
      ++tally_.failed;
      return false;
    }
  }
  PendingEvents();
  // The dialog goes on painting while a large package is rewritten; a cancel counts afterwards.
  const Outcome changed = prepared ? RunOffThread([&] { return prepared->Write(); }) : prepared.outcome();
  ++(changed ? tally_.changed : tally_.failed);
  if (changed.alreadySo()) ++tally_.alreadySo;
  // The list cannot change while the dialog blocks the window; the check keeps a surprise harmless.
  if (index < files.rowCount()) {
    files.SetStatus(index, changed ? FileStatus::Changed : FileStatus::ChangeError, ChangeOutcomeText(changed));
  }
  return true;
}

}  // namespace kestrel::app
