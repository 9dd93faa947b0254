// The single tab: reading the selected document into it, editing its values in place and the
// single change.
#include <array>

#include <QCheckBox>

#include "app/AttributeBoxes.h"
#include "app/FileListModel.h"
#include "app/FileListView.h"
#include "app/FileTimesGroup.h"
#include "app/InPlaceEditors.h"
#include "app/NativePath.h"
#include "app/OffThread.h"
#include "app/OtherPropertiesPanel.h"
#include "app/OutcomeText.h"
#include "app/PickerValues.h"
#include "app/PropertyListView.h"
#include "app/MainWindow.h"
#include "app/WaitCursor.h"
#include "change/Backup.h"
#include "platform/fs/FileState.h"
#include "platform/time/LocalDateTime.h"
#include "reading/DocumentReading.h"

namespace kestrel::app {
namespace {

// Later than 1904-05-20 00:00: an earlier last-access time is taken for no time at all.
constexpr time::LocalDateTime kLastAccessThreshold = 1602.0;

}  // namespace

void MainWindow::ForgetSingleTab() {
  shownSingleTab_.reset();
  singleProperties_->ClearValues();
  singleOthers_->Clear();
  singleTimes_->ShowNoTimes();
  singleAttributes_->ShowAttributes(0);
}

Outcome MainWindow::ReadDocumentIntoPanel(const QString& path) {
  Result<reading::DocumentReading> reading = reading::ReadDocument(packages_, NativePath(path), true);
  // Nothing of another document may stay shown, nor be written to this one later.
  ForgetSingleTab();
  if (!reading) return reading.outcome();
  if (!reading->Succeeded()) {
    return reading->outcome.ok() ? Outcome::Failure(FailureKind::Io, "its times could not be put back")
                                 : reading->outcome;
  }
  const fs::FileTimeSet times = reading->record.times.FileTimes();
  std::array<bool, 3> shown{};
  const std::array<std::optional<time::LocalDateTime>, 3> values = {
      time::FileTimeToLocalDateTime(times.creation), time::FileTimeToLocalDateTime(times.lastWrite),
      time::FileTimeToLocalDateTime(times.lastAccess)};
  for (std::size_t i = 0; i < values.size(); ++i) {
    // A last-access time before the threshold is taken for no time at all.
    shown.at(i) = values.at(i) && (i != FileTimesGroup::LastAccess || *values.at(i) > kLastAccessThreshold) &&
                  ToPickerValue(*values.at(i));
    if (shown.at(i)) singleTimes_->ShowTime(static_cast<FileTimesGroup::Row>(i), *values.at(i));
  }
  singleAttributes_->ShowAttributes(reading->record.attributes);
  singleProperties_->SetValues(*reading->rows);
  if (reading->others) {
    singleOthers_->ShowStored(std::move(*reading->others));
  } else {
    singleOthers_->ShowUnreadable(QString::fromStdString(reading->others.outcome().message()));
  }
  shownSingleTab_ = SingleTabNow();
  shownSingleTab_->timesShown = shown;
  return Outcome::Success();
}

void MainWindow::EditSingleValueAt(QPoint pointer) {
  if (fileList_->SelectedRow() < 0 || singleProperties_->SelectedRow() < 0) return;
  editors_->OpenAt(*singleProperties_, pointer);
}

change::SingleTab MainWindow::SingleTabNow() const {
  change::SingleTab tab;
  tab.values = singleProperties_->Values();
  tab.pickers = singleTimes_->Pickers();
  tab.attributes = singleAttributes_->Choices();
  return tab;
}

void MainWindow::ChangeSelectedFile() {
  const int row = fileList_->SelectedRow();
  if (row < 0) {
    ShowMessage(QStringLiteral("変更したいファイルを選択する!"));
    return;
  }
  // The button is disabled then; this keeps any other way in from writing what was never read.
  if (!shownSingleTab_) return;
  files_->SetStatus(row, FileStatus::NotChanged);
  // The reset icon shows before the change starts; nothing else runs in between.
  fileList_->viewport()->repaint();
  const WaitCursor waiting;
  const QString path = files_->Path(row);
  const std::string file = NativePath(path);
  if (singleBackupBox_->isChecked()) {
    const Outcome backedUp = RunOffThread([&file] { return change::BackUpDocument(file); });
    if (!backedUp) {
      ShowFileOutcome(row, FileStatus::NotChanged, BackupFailureText(backedUp));
      ShowMessage(QStringLiteral("元のファイルをバックアップする時、エラーが発生しました。\n"
                                 "このファイルは他のアプリケーションで開けないよにしてください。\n") +
                  path);
      return;
    }
  }
  const change::SingleTab now = SingleTabNow();
  change::ChangeRequest request = change::ChangeRequest::Edited(*shownSingleTab_, now);
  request.others = singleOthers_->Edits();
  const Outcome changed = RunOffThread([&] { return change::ApplyChange(packages_, file, request); });
  if (changed) {
    // What the tab shows is what the document holds now.
    const std::array<bool, 3> timesShown = shownSingleTab_->timesShown;
    shownSingleTab_ = now;
    shownSingleTab_->timesShown = timesShown;
    singleOthers_->Settle();
  }
  ShowFileOutcome(row, changed ? FileStatus::Changed : FileStatus::ChangeError, ChangeOutcomeText(changed));
}

}  // namespace kestrel::app
