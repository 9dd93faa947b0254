// The single tab: reading the selected document into it, editing its values in place and the
// single change.
#include <array>
#include <utility>

#include <QCheckBox>
#include <QDateEdit>
#include <QTimeEdit>

#include "app/AttributeBoxes.h"
#include "app/FileListModel.h"
#include "app/FileListView.h"
#include "app/InPlaceEditors.h"
#include "app/NativePath.h"
#include "app/OffThread.h"
#include "app/OutcomeText.h"
#include "app/PickerValues.h"
#include "app/PropertyListView.h"
#include "app/TForm1.h"
#include "app/WaitCursor.h"
#include "change/Backup.h"
#include "platform/fs/FileState.h"
#include "platform/time/LocalDateTime.h"
#include "reading/DocumentReading.h"

namespace kestrel::app {
namespace {

// Later than 1904-05-20 00:00: an earlier last-access time is taken for no time at all.
constexpr time::LocalDateTime kLastAccessThreshold = 1602.0;

void ShowBit(QCheckBox* box, std::uint32_t attributes, std::uint32_t bit) {
  box->setCheckState((attributes & bit) != 0 ? Qt::Checked : Qt::Unchecked);
}

}  // namespace

void TForm1::SetFileTimePickers(QDateEdit* date, QTimeEdit* time, time::LocalDateTime value) {
  if (const std::optional<PickerValue> shown = ToPickerValue(value)) {
    date->setDate(shown->date);
    time->setTime(shown->time);
  }
}

std::array<std::pair<QDateEdit*, QTimeEdit*>, 3> TForm1::SingleTabTimePickers() const {
  return {{{DateTimePicker9, DateTimePicker10}, {DateTimePicker11, DateTimePicker12}, {DateTimePicker13, DateTimePicker14}}};
}

void TForm1::ForgetSingleTab() {
  shownSingleTab_.reset();
  ListView3->ClearValues();
  for (const auto& [date, time] : SingleTabTimePickers()) {
    date->setDate(date->minimumDate());
    time->setTime(QTime(0, 0));
  }
  for (QCheckBox* box : {CheckBox16, CheckBox17, CheckBox18, CheckBox23}) box->setCheckState(Qt::Unchecked);
}

Outcome TForm1::ReadDocumentIntoPanel(const QString& path) {
  Result<reading::DocumentReading> reading = reading::ReadDocument(packages_, NativePath(path));
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
  const auto pickers = SingleTabTimePickers();
  for (std::size_t i = 0; i < values.size(); ++i) {
    // A last-access time before the threshold is taken for no time at all.
    shown.at(i) = values.at(i) && (i != 2 || *values.at(i) > kLastAccessThreshold) && ToPickerValue(*values.at(i));
    if (shown.at(i)) SetFileTimePickers(pickers.at(i).first, pickers.at(i).second, *values.at(i));
  }
  const std::uint32_t attributes = reading->record.attributes;
  ShowBit(CheckBox16, attributes, fs::kAttributeReadOnly);
  ShowBit(CheckBox17, attributes, fs::kAttributeArchive);
  ShowBit(CheckBox18, attributes, fs::kAttributeHidden);
  ShowBit(CheckBox23, attributes, fs::kAttributeSystem);
  ListView3->SetValues(*reading->rows);
  shownSingleTab_ = SingleTabNow();
  shownSingleTab_->timesShown = shown;
  return Outcome::Success();
}

void TForm1::ListView3Click(QPoint pointer) {
  if (ListView1->SelectedRow() < 0 || ListView3->SelectedRow() < 0) return;
  editors->OpenAt(*ListView3, pointer);
}

change::SingleTab TForm1::SingleTabNow() const {
  change::SingleTab tab;
  tab.values = ListView3->Values();
  tab.pickers = {DateValue(DateTimePicker9->date()),  TimeValue(DateTimePicker10->time()),
                 DateValue(DateTimePicker11->date()), TimeValue(DateTimePicker12->time()),
                 DateValue(DateTimePicker13->date()), TimeValue(DateTimePicker14->time())};
  tab.attributes = {ChoiceOf(*CheckBox16), ChoiceOf(*CheckBox17), ChoiceOf(*CheckBox18), ChoiceOf(*CheckBox23)};
  return tab;
}

void TForm1::BitBtn6Click() {
  const int row = ListView1->SelectedRow();
  if (row < 0) {
    ShowMessage(QStringLiteral("変更したいファイルを選択する!"));
    return;
  }
  // The button is disabled then; this keeps any other way in from writing what was never read.
  if (!shownSingleTab_) return;
  files_->SetStatus(row, FileStatus::NotChanged);
  // The reset icon shows before the change starts; nothing else runs in between.
  ListView1->viewport()->repaint();
  const WaitCursor waiting;
  const QString path = files_->Path(row);
  const std::string file = NativePath(path);
  if (CheckBox5->isChecked()) {
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
  const change::ChangeRequest request = change::ChangeRequest::Edited(*shownSingleTab_, now);
  const Outcome changed = RunOffThread([&] { return change::ApplyChange(packages_, file, request); });
  if (changed) {
    // What the tab shows is what the document holds now.
    const std::array<bool, 3> timesShown = shownSingleTab_->timesShown;
    shownSingleTab_ = now;
    shownSingleTab_->timesShown = timesShown;
  }
  ShowFileOutcome(row, changed ? FileStatus::Changed : FileStatus::ChangeError, ChangeOutcomeText(changed));
}

}  // namespace kestrel::app
