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
#include "app/MainWindow.h"
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

std::array<TimePartBox<QDateEdit>, 3> DateBoxes(const MainWindow& window) {
  return {{{window.batchCreationDateBox, window.batchCreationDate, &FileTimeChoices::creationDate},
           {window.batchLastWriteDateBox, window.batchLastWriteDate, &FileTimeChoices::lastWriteDate},
           {window.batchLastAccessDateBox, window.batchLastAccessDate, &FileTimeChoices::lastAccessDate}}};
}

std::array<TimePartBox<QTimeEdit>, 3> TimeBoxes(const MainWindow& window) {
  return {{{window.batchCreationTimeBox, window.batchCreationTime, &FileTimeChoices::creationTime},
           {window.batchLastWriteTimeBox, window.batchLastWriteTime, &FileTimeChoices::lastWriteTime},
           {window.batchLastAccessTimeBox, window.batchLastAccessTime, &FileTimeChoices::lastAccessTime}}};
}

}  // namespace

void MainWindow::EditBatchValueAt(QPoint pointer) {
  // Unlike the single list, the batch list needs no selected file.
  editors->OpenAt(*batchProperties, pointer);
}

void MainWindow::ToggleBatchRowAt(QPoint pointer) {
  const int row = batchProperties->rowAt(pointer.y());
  if (row >= 0) batchProperties->SetIncluded(row, !batchProperties->Included(row));
}

void MainWindow::ImportFromSelectedFile() {
  CloseEditors();
  if (fileList->SelectedRow() < 0) return;
  // The values only: which rows, time parts and the backup take part stays as the user set it.
  for (int row = 0; row < catalogue::kRowCount; ++row) batchProperties->SetValue(row, singleProperties->Value(row));
  const std::array<std::pair<QDateEdit*, QDateEdit*>, 3> dates = {
      {{creationDate, batchCreationDate}, {lastWriteDate, batchLastWriteDate}, {lastAccessDate, batchLastAccessDate}}};
  const std::array<std::pair<QTimeEdit*, QTimeEdit*>, 3> clocks = {
      {{creationTime, batchCreationTime}, {lastWriteTime, batchLastWriteTime}, {lastAccessTime, batchLastAccessTime}}};
  for (const auto& [from, to] : dates) to->setDate(from->date());
  for (const auto& [from, to] : clocks) to->setTime(from->time());
  // A grayed box of the single tab gives an unchecked one: the batch run would clear that bit.
  const std::array<std::pair<QCheckBox*, QCheckBox*>, 4> boxes = {{{readOnlyBox, batchReadOnlyBox},
                                                                   {archiveBox, batchArchiveBox},
                                                                   {hiddenBox, batchHiddenBox},
                                                                   {systemBox, batchSystemBox}}};
  for (const auto& [from, to] : boxes) {
    to->setCheckState(from->checkState() == Qt::Checked ? Qt::Checked : Qt::Unchecked);
  }
}

void MainWindow::SavePreset() {
  CloseEditors();
  SettingsPresetStore store;
  presets::SavePreset(store, BatchTabValues());
}

void MainWindow::LoadPreset() {
  CloseEditors();
  const SettingsPresetStore store;
  ShowBatchValues(presets::ImportPreset(store, CurrentLocalDateTime()));
}

catalogue::BatchValues MainWindow::BatchTabValues() const {
  catalogue::BatchValues values;
  for (int row = 0; row < catalogue::kRowCount; ++row) {
    const auto at = static_cast<std::size_t>(row);
    values.rows.values.at(at) = batchProperties->Value(row).toStdString();
    values.rows.included.at(at) = batchProperties->Included(row);
  }
  for (const TimePartBox<QDateEdit>& part : DateBoxes(*this)) {
    values.times.*part.choice = {part.box->isChecked(), DateValue(part.picker->date())};
  }
  for (const TimePartBox<QTimeEdit>& part : TimeBoxes(*this)) {
    values.times.*part.choice = {part.box->isChecked(), TimeValue(part.picker->time())};
  }
  values.attributes = {ChoiceOf(*batchReadOnlyBox), ChoiceOf(*batchArchiveBox), ChoiceOf(*batchHiddenBox),
                       ChoiceOf(*batchSystemBox)};
  values.backup = batchBackupBox->isChecked();
  return values;
}

void MainWindow::ShowBatchValues(const catalogue::BatchValues& values) {
  for (int row = 0; row < catalogue::kRowCount; ++row) {
    batchProperties->SetValue(row, QString::fromStdString(values.rows.Value(row)));
    batchProperties->SetIncluded(row, values.rows.Included(row));
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
  batchReadOnlyBox->setCheckState(StateOf(values.attributes.readOnly));
  batchArchiveBox->setCheckState(StateOf(values.attributes.archive));
  batchHiddenBox->setCheckState(StateOf(values.attributes.hidden));
  batchSystemBox->setCheckState(StateOf(values.attributes.system));
  batchBackupBox->setChecked(values.backup);
}

}  // namespace kestrel::app
