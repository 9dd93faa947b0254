// The file list's doors, its removals and the selection change.
#include <QAction>
#include <QStatusBar>

#include "app/Dialogs.h"
#include "app/DocumentNames.h"
#include "app/FileListModel.h"
#include "app/FileListView.h"
#include "app/InPlaceEditors.h"
#include "app/NativePath.h"
#include "app/OffThread.h"
#include "app/OutcomeText.h"
#include "app/PropertyListView.h"
#include "app/MainWindow.h"
#include "app/WaitCursor.h"
#include "platform/fs/FileOps.h"
#include "platform/fs/FileState.h"

namespace kestrel::app {

int MainWindow::AppendStagedFiles() {
  const int appended = files_->AppendStaged();
  if (appended > 0) SelectFile(files_->rowCount() - 1);
  return appended;
}

void MainWindow::SelectFile(int row) {
  // Selecting runs the selection change, which reads the file.
  fileList_->selectRow(row);
  fileList_->scrollTo(files_->index(row, 0));
}

void MainWindow::AddFiles() {
  CloseEditors();
  const std::optional<QStringList> names = dialogs_.ChooseFiles(this, OpenDialogFilter());
  if (!names) return;
  // What the user chose is taken whatever its name, as long as it is a file not listed yet.
  for (const QString& name : *names) {
    if (fs::FileExistsAsFile(NativePath(name))) files_->Stage(name);
  }
  files_->AppendStaged();
  if (files_->rowCount() > 0) SelectFile(files_->rowCount() - 1);
  EnableAfterAdding();
}

void MainWindow::AddFolder() {
  CloseEditors();
  const std::optional<QString> chosen = dialogs_.ChooseFolder(this, QStringLiteral("フォルダを選択してください"));
  if (!chosen) return;
  QString folder = *chosen;
  if (folder.endsWith(u'/')) folder.chop(1);
  // The root folder loses its only delimiter above; its paths still join as "/name".
  const WaitCursor waiting;
  // A folder of many thousand documents takes a moment; the window goes on painting meanwhile.
  const QStringList names = RunOffThread([root = NativePath(folder.isEmpty() ? QStringLiteral("/") : folder)] {
    QStringList found;
    for (const std::string& name : fs::EnumerateFolderFiles(root)) found << QtPath(name);
    // The folder's own order is the file system's (hash order on most): list them as a browser does.
    SortNaturally(found);
    return found;
  });
  for (const QString& name : names) {
    const QString path = folder + u'/' + name;
    if (!HasOwnerFileMark(path) && HasDocumentExtension(path)) files_->Stage(path);
  }
  if (AppendStagedFiles() > 0) EnableAfterAdding();
}

void MainWindow::FilesDropped(const QStringList& paths) {
  // The drop takes no focus from an open editor; its value belongs to the file read before.
  CloseEditors();
  for (const QString& path : paths) {
    if (fs::FileExistsAsFile(NativePath(path)) && !HasOwnerFileMark(path) && HasDocumentExtension(path)) {
      files_->Stage(path);
    }
  }
  if (AppendStagedFiles() > 0) EnableAfterAdding();
}

void MainWindow::RemoveSelectedFile() {
  CloseEditors();
  const int row = fileList_->SelectedRow();
  if (row < 0) return;
  files_->Remove(row);
  if (files_->rowCount() == 0) {
    EnableListCommands(false);
    removeAction_->setEnabled(false);
    // No file is selected any more: the single tab stops showing the removed file.
    ShowSelectedFile();
    return;
  }
  EnableListCommands(true);
  SelectFile(row == 0 ? 0 : row - 1);
}

void MainWindow::RemoveAllFiles() {
  CloseEditors();
  files_->RemoveAll();
  EnableListCommands(false);
  ShowSelectedFile();
}

void MainWindow::ShowSelectedFile() {
  // A change arriving while one is handled is ignored, not deferred: the handling looks only at
  // which file is selected when it runs.
  if (selectionBusy_) return;
  selectionBusy_ = true;
  const int row = fileList_->SelectedRow();
  if (row >= 0) {
    const WaitCursor waiting;
    const Outcome read = ReadDocumentIntoPanel(files_->Path(row));
    if (!read) {
      ShowFileOutcome(row, FileStatus::ReadError, ReadOutcomeText(read));
    } else if (files_->Status(row) == FileStatus::ReadError) {
      ShowFileOutcome(row, FileStatus::NotChanged, ReadOutcomeText(read));
    } else if (files_->Reason(row).isEmpty()) {
      ShowFileOutcome(row, files_->Status(row), ReadOutcomeText(read));
    } else {
      statusLine_->showMessage(files_->Reason(row));  // what its last change did
    }
  } else {
    ForgetSingleTab();
    statusLine_->clearMessage();
  }
  // A document is shown exactly when its read succeeded.
  EnableForSelection(row >= 0, shownSingleTab_.has_value());
  selectionBusy_ = false;
}

void MainWindow::ShowFileOutcome(int row, FileStatus status, const QString& text) {
  files_->SetStatus(row, status, text);
  if (row == fileList_->SelectedRow()) statusLine_->showMessage(text);
}

}  // namespace kestrel::app
