// The batch tab: its property list with the row boxes and the in-place editors, the values it
// holds as the services take them, the presets, and the import from the selected file.
#include <array>
#include <utility>

#include <QCheckBox>
#include <QDateEdit>
#include <QTimeEdit>

#include "app/AttributeBoxes.h"
#include "app/FileListView.h"
#include "app/InPlaceEditors.h"
#include "app/PickerValues.h"
#include "app/PropertyListView.h"
#include "app/SettingsPresetStore.h"
#include "app/TForm1.h"
#include "presets/PresetValues.h"

namespace kestrel::app {
namespace {

using catalogue::FileTimeChoices;
using catalogue::TimePartChoice;

// A box of the group "ファイル日時" with the picker it governs and the choice they make.
template <typename Picker>
struct TimePartBox {
  QCheckBox* box;
  Picker* picker;
  TimePartChoice FileTimeChoices::*choice;
};

std::array<TimePartBox<QDateEdit>, 3> DateBoxes(const TForm1& form) {
  return {{{form.CheckBox9, form.DateTimePicker1, &FileTimeChoices::creationDate},
           {form.CheckBox11, form.DateTimePicker3, &FileTimeChoices::lastWriteDate},
           {form.CheckBox13, form.DateTimePicker5, &FileTimeChoices::lastAccessDate}}};
}

std::array<TimePartBox<QTimeEdit>, 3> TimeBoxes(const TForm1& form) {
  return {{{form.CheckBox10, form.DateTimePicker2, &FileTimeChoices::creationTime},
           {form.CheckBox12, form.DateTimePicker4, &FileTimeChoices::lastWriteTime},
           {form.CheckBox14, form.DateTimePicker6, &FileTimeChoices::lastAccessTime}}};
}

}  // namespace

void TForm1::ListView2Click(QPoint pointer) {
  // Unlike the single list, the batch list needs no selected file.
  editors->OpenAt(*ListView2, pointer);
}

void TForm1::ListView2DblClick(QPoint pointer) {
  const int row = ListView2->rowAt(pointer.y());
  if (row >= 0) ListView2->SetIncluded(row, !ListView2->Included(row));
}

void TForm1::ToolButton12Click() {
  CloseEditors();
  if (ListView1->SelectedRow() < 0) return;
  // The values only: which rows, time parts and the backup take part stays as the user set it.
  for (int row = 0; row < catalogue::kRowCount; ++row) ListView2->SetValue(row, ListView3->Value(row));
  const std::array<std::pair<QDateEdit*, QDateEdit*>, 3> dates = {
      {{DateTimePicker9, DateTimePicker1}, {DateTimePicker11, DateTimePicker3}, {DateTimePicker13, DateTimePicker5}}};
  const std::array<std::pair<QTimeEdit*, QTimeEdit*>, 3> clocks = {
      {{DateTimePicker10, DateTimePicker2}, {DateTimePicker12, DateTimePicker4}, {DateTimePicker14, DateTimePicker6}}};
  for (const auto& [from, to] : dates) to->setDate(from->date());
  for (const auto& [from, to] : clocks) to->setTime(from->time());
  // A grayed box of the single tab gives an unchecked one: the batch run would clear that bit.
  const std::array<std::pair<QCheckBox*, QCheckBox*>, 4> boxes = {
      {{CheckBox16, CheckBox1}, {CheckBox17, CheckBox2}, {CheckBox18, CheckBox3}, {CheckBox23, CheckBox8}}};
  for (const auto& [from, to] : boxes) {
    to->setCheckState(from->checkState() == Qt::Checked ? Qt::Checked : Qt::Unchecked);
  }
}

void TForm1::ToolButton9Click() {
  CloseEditors();
  SettingsPresetStore store;
  presets::SavePreset(store, BatchTabValues());
}

void TForm1::ToolButton10Click() {
  CloseEditors();
  const SettingsPresetStore store;
  ShowBatchValues(presets::ImportPreset(store, CurrentLocalDateTime()));
}

catalogue::BatchValues TForm1::BatchTabValues() const {
  catalogue::BatchValues values;
  for (int row = 0; row < catalogue::kRowCount; ++row) {
    const auto at = static_cast<std::size_t>(row);
    values.rows.values.at(at) = ListView2->Value(row).toStdString();
    values.rows.included.at(at) = ListView2->Included(row);
  }
  for (const TimePartBox<QDateEdit>& part : DateBoxes(*this)) {
    values.times.*part.choice = {part.box->isChecked(), DateValue(part.picker->date())};
  }
  for (const TimePartBox<QTimeEdit>& part : TimeBoxes(*this)) {
    values.times.*part.choice = {part.box->isChecked(), TimeValue(part.picker->time())};
  }
  values.attributes = {ChoiceOf(*CheckBox1), ChoiceOf(*CheckBox2), ChoiceOf(*CheckBox3), ChoiceOf(*CheckBox8)};
  values.backup = CheckBox4->isChecked();
  return values;
}

void TForm1::ShowBatchValues(const catalogue::BatchValues& values) {
  for (int row = 0; row < catalogue::kRowCount; ++row) {
    ListView2->SetValue(row, QString::fromStdString(values.rows.Value(row)));
    ListView2->SetIncluded(row, values.rows.Included(row));
  }
  // Setting a box runs its state change, which enables or disables its picker.
  for (const TimePartBox<QDateEdit>& part : DateBoxes(*this)) {
    const TimePartChoice& choice = values.times.*part.choice;
    part.box->setChecked(choice.checked);
    if (const auto shown = ToPickerValue(choice.picker)) part.picker->setDate(shown->date);
  }
  for (const TimePartBox<QTimeEdit>& part : TimeBoxes(*this)) {
    const TimePartChoice& choice = values.times.*part.choice;
    part.box->setChecked(choice.checked);
    if (const auto shown = ToPickerValue(choice.picker)) part.picker->setTime(shown->time);
  }
  CheckBox1->setCheckState(StateOf(values.attributes.readOnly));
  CheckBox2->setCheckState(StateOf(values.attributes.archive));
  CheckBox3->setCheckState(StateOf(values.attributes.hidden));
  CheckBox8->setCheckState(StateOf(values.attributes.system));
  CheckBox4->setChecked(values.backup);
}

}  // namespace kestrel::app
