// The single tab: reading the selected document into it, editing its values in place and the
// single change; and the batch tab's values as the presets give them.
#include <exception>

#include <QCheckBox>
#include <QDateEdit>
#include <QTimeEdit>

#include "app/FileListModel.h"
#include "app/FileListView.h"
#include "app/InPlaceEditors.h"
#include "app/NativePath.h"
#include "app/PickerValues.h"
#include "app/PropertyListView.h"
#include "app/TForm1.h"
#include "change/Backup.h"
#include "change/DocumentReading.h"
#include "platform/fs/FileState.h"
#include "platform/time/LocalDateTime.h"

namespace kestrel::app {
namespace {

using catalogue::AttributeChoice;

// Later than 1904-05-20 00:00: an earlier last-access time is taken for no time at all.
constexpr time::LocalDateTime kLastAccessThreshold = 1602.0;

AttributeChoice ChoiceOf(const QCheckBox* box) {
  switch (box->checkState()) {
    case Qt::Checked:
      return AttributeChoice::Set;
    case Qt::Unchecked:
      return AttributeChoice::Clear;
    default:
      return AttributeChoice::Keep;
  }
}

Qt::CheckState StateOf(AttributeChoice choice) {
  switch (choice) {
    case AttributeChoice::Set:
      return Qt::Checked;
    case AttributeChoice::Clear:
      return Qt::Unchecked;
    default:
      return Qt::PartiallyChecked;
  }
}

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

bool TForm1::ReadDocumentIntoPanel(const QString& path) {
  const std::optional<change::DocumentReading> reading = change::ReadDocument(myzip, axml, NativePath(path));
  if (!reading) {
    // Nothing is known about the file; its rows must not go on showing another file's values.
    ListView3->ClearValues();
    return false;
  }
  const fs::FileTimeSet times = reading->record.times.FileTimes();
  if (const auto creation = time::FileTimeToLocalDateTime(times.creation)) {
    SetFileTimePickers(DateTimePicker9, DateTimePicker10, *creation);
  }
  if (const auto lastWrite = time::FileTimeToLocalDateTime(times.lastWrite)) {
    SetFileTimePickers(DateTimePicker11, DateTimePicker12, *lastWrite);
  }
  if (const auto lastAccess = time::FileTimeToLocalDateTime(times.lastAccess);
      lastAccess && *lastAccess > kLastAccessThreshold) {
    SetFileTimePickers(DateTimePicker13, DateTimePicker14, *lastAccess);
  }
  const std::uint32_t attributes = reading->record.attributes;
  ShowBit(CheckBox16, attributes, fs::kAttributeReadOnly);
  ShowBit(CheckBox17, attributes, fs::kAttributeArchive);
  ShowBit(CheckBox18, attributes, fs::kAttributeHidden);
  ShowBit(CheckBox23, attributes, fs::kAttributeSystem);
  if (reading->rows) {
    ListView3->SetValues(*reading->rows);
  } else {
    // A package that could not be read leaves no rows of the file shown before.
    ListView3->ClearValues();
  }
  return reading->Succeeded();
}

void TForm1::ListView3Click(QPoint pointer) {
  if (ListView1->SelectedRow() < 0 || ListView3->SelectedRow() < 0) return;
  editors->OpenAt(*ListView3, pointer);
}

change::SinglePickers TForm1::SingleTabPickers() const {
  return {DateValue(DateTimePicker9->date()),  TimeValue(DateTimePicker10->time()),
          DateValue(DateTimePicker11->date()), TimeValue(DateTimePicker12->time()),
          DateValue(DateTimePicker13->date()), TimeValue(DateTimePicker14->time())};
}

catalogue::AttributeChoices TForm1::SingleTabAttributes() const {
  return {ChoiceOf(CheckBox16), ChoiceOf(CheckBox17), ChoiceOf(CheckBox18), ChoiceOf(CheckBox23)};
}

void TForm1::BitBtn6Click() {
  const int row = ListView1->SelectedRow();
  if (row < 0) {
    ShowMessage(QStringLiteral("変更したいファイルを選択する!"));
    return;
  }
  files_->SetStatus(row, FileStatus::NotChanged);
  // The reset icon shows before the change starts; nothing else runs in between.
  ListView1->viewport()->repaint();
  const QString path = files_->Path(row);
  const std::string file = NativePath(path);
  if (CheckBox5->isChecked()) {
    bool backedUp = false;
    try {
      backedUp = change::backupoldfile(file);
    } catch (const std::exception&) {
      backedUp = false;
    }
    if (!backedUp) {
      ShowMessage(QStringLiteral("元のファイルをバックアップする時、エラーが発生しました。\n"
                                 "このファイルは他のアプリケーションで開けないよにしてください。\n") +
                  path);
      return;
    }
  }
  bool changed = false;
  try {
    changed = change::ApplyChange(myzip, axml, file,
                                  change::ChangeRequest::Single(ListView3->Values(), SingleTabPickers(),
                                                                SingleTabAttributes()));
  } catch (const std::exception&) {
    changed = false;
  }
  files_->SetStatus(row, changed ? FileStatus::Changed : FileStatus::ChangeError);
}

void TForm1::ShowBatchValues(const catalogue::BatchValues& values) {
  for (int row = 0; row < catalogue::kRowCount; ++row) {
    ListView2->SetValue(row, QString::fromStdString(values.rows.Value(row)));
    ListView2->SetIncluded(row, values.rows.Included(row));
  }
  const catalogue::FileTimeChoices& times = values.times;
  const std::array<std::pair<QCheckBox*, QDateEdit*>, 3> dates = {
      {{CheckBox9, DateTimePicker1}, {CheckBox11, DateTimePicker3}, {CheckBox13, DateTimePicker5}}};
  const std::array<std::pair<QCheckBox*, QTimeEdit*>, 3> clocks = {
      {{CheckBox10, DateTimePicker2}, {CheckBox12, DateTimePicker4}, {CheckBox14, DateTimePicker6}}};
  const std::array<const catalogue::TimePartChoice*, 3> dateChoices = {&times.creationDate, &times.lastWriteDate,
                                                                       &times.lastAccessDate};
  const std::array<const catalogue::TimePartChoice*, 3> timeChoices = {&times.creationTime, &times.lastWriteTime,
                                                                       &times.lastAccessTime};
  for (std::size_t i = 0; i < 3; ++i) {
    dates.at(i).first->setChecked(dateChoices.at(i)->checked);
    if (const auto shown = ToPickerValue(dateChoices.at(i)->picker)) dates.at(i).second->setDate(shown->date);
    clocks.at(i).first->setChecked(timeChoices.at(i)->checked);
    if (const auto shown = ToPickerValue(timeChoices.at(i)->picker)) clocks.at(i).second->setTime(shown->time);
  }
  CheckBox1->setCheckState(StateOf(values.attributes.readOnly));
  CheckBox2->setCheckState(StateOf(values.attributes.archive));
  CheckBox3->setCheckState(StateOf(values.attributes.hidden));
  CheckBox8->setCheckState(StateOf(values.attributes.system));
  CheckBox4->setChecked(values.backup);
}

}  // namespace kestrel::app
