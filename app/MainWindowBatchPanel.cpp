// The batch tab: its property list with the row boxes and the in-place editors, the values it
// holds as the services take them, the presets, and the import from the selected file.
#include <QCheckBox>
#include <QStatusBar>

#include "app/AttributeBoxes.h"
#include "app/FileListView.h"
#include "app/FileTimesGroup.h"
#include "app/InPlaceEditors.h"
#include "app/PickerValues.h"
#include "app/PropertyListView.h"
#include "app/SettingsPresetStore.h"
#include "app/MainWindow.h"
#include "presets/PresetValues.h"

namespace kestrel::app {
namespace {

// A grayed box of the single tab gives an unchecked one: the batch run would clear that bit.
catalogue::AttributeChoices Settled(catalogue::AttributeChoices choices) {
  using catalogue::AttributeChoice;
  for (AttributeChoice* choice : {&choices.readOnly, &choices.archive, &choices.hidden, &choices.system}) {
    if (*choice == AttributeChoice::Keep) *choice = AttributeChoice::Clear;
  }
  return choices;
}

}  // namespace

void MainWindow::EditBatchValueAt(QPoint pointer) {
  // Unlike the single list, the batch list needs no selected file.
  editors_->OpenAt(*batchProperties_, pointer);
}

void MainWindow::ToggleBatchRowAt(QPoint pointer) {
  const int row = batchProperties_->rowAt(pointer.y());
  if (row >= 0) batchProperties_->SetIncluded(row, !batchProperties_->Included(row));
}

void MainWindow::ImportFromSelectedFile() {
  CloseEditors();
  if (fileList_->SelectedRow() < 0) return;
  // The values only: which rows, time parts and the backup take part stays as the user set it.
  for (int row = 0; row < catalogue::kRowCount; ++row) batchProperties_->SetValue(row, singleProperties_->Value(row));
  batchTimes_->ShowPickersOf(*singleTimes_);
  batchAttributes_->ShowChoices(Settled(singleAttributes_->Choices()));
  statusLine_->showMessage(QStringLiteral("選択したファイルの値を一括変更に取り込みました"));
}

void MainWindow::SavePreset() {
  CloseEditors();
  SettingsPresetStore store;
  presets::SavePreset(store, BatchTabValues());
  statusLine_->showMessage(store.Save() ? QStringLiteral("一括変更の値を既定として保存しました")
                                        : QStringLiteral("既定を保存できませんでした (設定ファイルに書き込めません)"));
}

void MainWindow::LoadPreset() {
  CloseEditors();
  const SettingsPresetStore store;
  ShowBatchValues(presets::ImportPreset(store, CurrentLocalDateTime()));
  statusLine_->showMessage(QStringLiteral("既定の値を一括変更に読み込みました"));
}

catalogue::BatchValues MainWindow::BatchTabValues() const {
  catalogue::BatchValues values;
  for (int row = 0; row < catalogue::kRowCount; ++row) {
    const auto at = static_cast<std::size_t>(row);
    values.rows.values.at(at) = batchProperties_->Value(row).toStdString();
    values.rows.included.at(at) = batchProperties_->Included(row);
  }
  values.times = batchTimes_->Choices();
  values.attributes = batchAttributes_->Choices();
  values.backup = batchBackupBox_->isChecked();
  return values;
}

void MainWindow::ShowBatchValues(const catalogue::BatchValues& values) {
  for (int row = 0; row < catalogue::kRowCount; ++row) {
    batchProperties_->SetValue(row, QString::fromStdString(values.rows.Value(row)));
    batchProperties_->SetIncluded(row, values.rows.Included(row));
  }
  batchTimes_->ShowChoices(values.times);
  batchAttributes_->ShowChoices(values.attributes);
  batchBackupBox_->setChecked(values.backup);
}

}  // namespace kestrel::app
