// The single tab: reading the selected document into it, editing its values in place and the
// single change.
#include <exception>

#include <QCheckBox>
#include <QDateEdit>
#include <QTimeEdit>

#include "app/AttributeBoxes.h"
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

bool TForm1::ReadDocumentIntoPanel(const QString& path) {
  const Result<change::DocumentReading> reading = change::ReadDocument(packages_, NativePath(path));
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
  return {ChoiceOf(*CheckBox16), ChoiceOf(*CheckBox17), ChoiceOf(*CheckBox18), ChoiceOf(*CheckBox23)};
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
      backedUp = change::backupoldfile(file).ok();
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
    changed = change::ApplyChange(packages_, file,
                                  change::ChangeRequest::Single(ListView3->Values(), SingleTabPickers(),
                                                                SingleTabAttributes()))
                  .ok();
  } catch (const std::exception&) {
    changed = false;
  }
  files_->SetStatus(row, changed ? FileStatus::Changed : FileStatus::ChangeError);
}

}  // namespace kestrel::app
