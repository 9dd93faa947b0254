#include "app/dialogs/TForm7.h"

#include <exception>
#include <string>

#include <QLabel>
#include <QScreen>
#include <QStyle>

#include "app/FileListModel.h"
#include "app/NativePath.h"
#include "change/Backup.h"

namespace kestrel::app {

TForm7::TForm7(QWidget* parent) : ProgressDialog(QStringLiteral("変更中..."), parent) {
  setFixedSize(349, 91);
  setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen()->availableGeometry()));
}

void TForm7::Prepare(const Batch& batch) {
  batch_ = &batch;
  Reset();
}

void TForm7::Timer1Timer() {
  FileListModel& files = batch_->files;
  const int count = files.rowCount();
  PendingEvents();
  // The events let the dialog repaint and the cancel button be pressed; a press counts from the
  // next document on, so the one at hand is always finished.
  for (int index = 0; index < count && index < files.rowCount(); ++index) {
    if (Cancelled()) break;
    ShowDocument(files.Path(index));
    if (!ChangeDocument(index)) break;
    ShowProgress(index + 1, count);
    PendingEvents();
  }
  FillBar();
  batch_ = nullptr;
  CloseDialog();
}

bool TForm7::ChangeDocument(int index) {
  FileListModel& files = batch_->files;
  const std::string path = NativePath(files.Path(index));
  bool backedUp = !batch_->backup;
  bool changed = false;
  try {
    if (!backedUp) backedUp = change::backupoldfile(path).ok();
  } catch (const std::exception&) {
    backedUp = false;
  }
  if (!backedUp) {
    // The run ends at a document it could not back up, without a message.
    files.SetStatus(index, FileStatus::ChangeError);
    return false;
  }
  PendingEvents();
  try {
    changed = change::ApplyChange(batch_->packages, path, batch_->request).ok();
  } catch (const std::exception&) {
    changed = false;  // counted as any failed change; the run goes on
  }
  // The list cannot change while the dialog blocks the window; the check keeps a surprise harmless.
  if (index < files.rowCount()) files.SetStatus(index, changed ? FileStatus::Changed : FileStatus::ChangeError);
  return true;
}

}  // namespace kestrel::app
