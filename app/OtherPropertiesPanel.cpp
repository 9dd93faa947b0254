#include "app/OtherPropertiesPanel.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/Dialogs.h"
#include "app/dialogs/CustomPropertyDialog.h"

namespace kestrel::app {
namespace {

QTableWidgetItem* Cell(const QString& text, bool enabled) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(enabled ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::ItemIsSelectable);
  return item;
}

}  // namespace

OtherPropertiesPanel::OtherPropertiesPanel(Tab tab, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), tab_(tab), dialogs_(dialogs) {
  setObjectName(WidgetName(tab, "otherProperties"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  table = new QTableWidget(0, 3, this);
  table->setObjectName(WidgetName(tab, "otherPropertiesTable"));
  table->setAccessibleName(tab == Tab::Single ? QStringLiteral("その他のプロパティ")
                                              : QStringLiteral("変更するユーザー設定のプロパティ"));
  table->setHorizontalHeaderLabels({QStringLiteral("名前"), QStringLiteral("種類"), QStringLiteral("値")});
  table->horizontalHeader()->setStretchLastSection(true);
  table->verticalHeader()->hide();
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  column->addWidget(table, 1);
  auto* row = new QHBoxLayout();
  addButton = new QPushButton(QStringLiteral("追加"), this);
  addButton->setObjectName(WidgetName(tab, "addCustomButton"));
  editButton = new QPushButton(QStringLiteral("編集"), this);
  editButton->setObjectName(WidgetName(tab, "editCustomButton"));
  removeButton = new QPushButton(QStringLiteral("削除"), this);
  removeButton->setObjectName(WidgetName(tab, "removeCustomButton"));
  addButton->setAccessibleName(QStringLiteral("ユーザー設定のプロパティを追加"));
  editButton->setAccessibleName(QStringLiteral("ユーザー設定のプロパティを編集"));
  removeButton->setAccessibleName(QStringLiteral("ユーザー設定のプロパティを削除"));
  for (QPushButton* button : {addButton, editButton, removeButton}) row->addWidget(button);
  row->addStretch(1);
  column->addLayout(row);
  connect(addButton, &QPushButton::clicked, this, &OtherPropertiesPanel::AddProperty);
  connect(editButton, &QPushButton::clicked, this, &OtherPropertiesPanel::EditSelected);
  connect(removeButton, &QPushButton::clicked, this, &OtherPropertiesPanel::RemoveSelected);
  connect(table, &QTableWidget::itemSelectionChanged, this, &OtherPropertiesPanel::EnableButtons);
  connect(table, &QTableWidget::cellDoubleClicked, this, &OtherPropertiesPanel::EditSelected);
  readable_ = tab == Tab::Batch;
  Refill();
}

void OtherPropertiesPanel::ShowStored(std::vector<catalogue::OtherProperty> stored) {
  stored_ = std::move(stored);
  edits_ = {};
  readable_ = true;
  setToolTip(QString());
  Refill();
}

void OtherPropertiesPanel::ShowUnreadable(const QString& why) {
  Clear();
  setToolTip(why);
}

void OtherPropertiesPanel::Clear() {
  stored_.clear();
  edits_ = {};
  readable_ = tab_ == Tab::Batch;
  setToolTip(QString());
  Refill();
}

void OtherPropertiesPanel::Settle() {
  if (tab_ == Tab::Batch) return;
  std::vector<catalogue::OtherProperty> settled = Shown();
  stored_ = std::move(settled);
  edits_ = {};
  Refill();
}

std::vector<catalogue::OtherProperty> OtherPropertiesPanel::Shown() const {
  if (tab_ == Tab::Batch) {
    std::vector<catalogue::OtherProperty> shown;
    for (const auto& [name, value] : edits_.custom) {
      shown.push_back({true, name, value ? std::string() : std::string("削除"), value ? std::optional(value->type) : std::nullopt,
                       value ? catalogue::CustomValueText(*value) : std::string()});
    }
    return shown;
  }
  std::vector<catalogue::OtherProperty> shown = catalogue::CustomAfterEdits(stored_, edits_);
  std::copy_if(stored_.begin(), stored_.end(), std::back_inserter(shown), [](const auto& p) { return !p.custom; });
  return shown;
}

void OtherPropertiesPanel::Refill() {
  const std::vector<catalogue::OtherProperty> shown = Shown();
  table->setRowCount(static_cast<int>(shown.size()));
  for (int row = 0; row < table->rowCount(); ++row) {
    const catalogue::OtherProperty& property = shown[static_cast<std::size_t>(row)];
    const QString name = QString::fromUtf8(property.custom ? std::string_view(property.name)
                                                           : catalogue::OtherPropertyLabel(property.name));
    table->setItem(row, 0, Cell(name, property.custom));
    table->setItem(row, 1, Cell(QString::fromStdString(catalogue::OtherPropertyTypeText(property)), property.custom));
    table->setItem(row, 2, Cell(QString::fromStdString(property.value), property.custom));
  }
  EnableButtons();
}

void OtherPropertiesPanel::EnableButtons() {
  const int row = table->currentRow();
  const std::vector<catalogue::OtherProperty> shown = Shown();
  const bool selectedCustom = row >= 0 && row < static_cast<int>(shown.size()) && shown[static_cast<std::size_t>(row)].custom;
  // A custom property of a type not edited here is shown as it is, and may only be removed.
  const bool editable = selectedCustom && (tab_ == Tab::Batch || shown[static_cast<std::size_t>(row)].type);
  addButton->setEnabled(readable_);
  editButton->setEnabled(readable_ && editable);
  removeButton->setEnabled(readable_ && selectedCustom);
}

void OtherPropertiesPanel::AddProperty() { AskAndStore(QString(), catalogue::CustomValue{}); }

void OtherPropertiesPanel::EditSelected() {
  const int row = table->currentRow();
  const std::vector<catalogue::OtherProperty> shown = Shown();
  if (row < 0 || row >= static_cast<int>(shown.size()) || !shown[static_cast<std::size_t>(row)].custom) return;
  const catalogue::OtherProperty& property = shown[static_cast<std::size_t>(row)];
  if (tab_ == Tab::Single && !property.type) return;  // read-only: its button is off
  std::optional<catalogue::CustomValue> value;
  if (property.type) {
    const Result<catalogue::CustomValue> parsed = catalogue::ParseCustomValue(*property.type, property.value);
    if (parsed) value = *parsed;
  }
  AskAndStore(QString::fromStdString(property.name), value);
}

void OtherPropertiesPanel::RemoveSelected() {
  const int row = table->currentRow();
  const std::vector<catalogue::OtherProperty> shown = Shown();
  if (row < 0 || row >= static_cast<int>(shown.size()) || !shown[static_cast<std::size_t>(row)].custom) return;
  const std::string name = shown[static_cast<std::size_t>(row)].name;
  // The batch tab's list is the edits themselves; the single tab's removal is one more edit.
  std::erase_if(edits_.custom, [&name](const auto& edit) { return catalogue::SameCustomName(edit.first, name); });
  if (tab_ == Tab::Single) edits_.custom.emplace_back(name, std::nullopt);
  Refill();
}

void OtherPropertiesPanel::AskAndStore(const QString& name, const std::optional<catalogue::CustomValue>& value) {
  CustomPropertyDialog dialog(tab_ == Tab::Batch, this);
  dialog.Show(name, value);
  dialogs_.ShowModal(dialog);
  if (dialog.result() != QDialog::Accepted) return;
  const std::string original = name.toStdString();
  // A new name renames: the property of the old one goes.
  const bool renamed = !original.empty() && !catalogue::SameCustomName(original, dialog.Name());
  for (const std::string& gone : renamed ? std::vector{original, dialog.Name()} : std::vector{dialog.Name()}) {
    std::erase_if(edits_.custom, [&gone](const auto& edit) { return catalogue::SameCustomName(edit.first, gone); });
  }
  if (renamed && tab_ == Tab::Single) edits_.custom.emplace_back(original, std::nullopt);
  edits_.custom.emplace_back(dialog.Name(), dialog.Value());
  Refill();
}

}  // namespace kestrel::app
