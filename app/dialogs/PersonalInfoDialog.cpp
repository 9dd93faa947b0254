#include "app/dialogs/PersonalInfoDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrel::app {

PersonalInfoDialog::PersonalInfoDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("personalInfoDialog"));
  setWindowTitle(QStringLiteral("個人情報を削除"));
  auto* column = new QVBoxLayout(this);
  column->addWidget(new QLabel(QStringLiteral("一覧の全てのファイルから、チェックした項目を削除します。"), this));
  items = new QListWidget(this);
  items->setObjectName(QStringLiteral("personalItems"));
  items->setAccessibleName(QStringLiteral("削除する項目"));
  for (const catalogue::PersonalItemName& name : catalogue::kPersonalItems) {
    auto* item = new QListWidgetItem(QString::fromUtf8(name.label), items);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    item->setCheckState(Qt::Checked);
  }
  column->addWidget(items);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("削除"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
  column->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

std::vector<catalogue::PersonalItem> PersonalInfoDialog::Chosen() const {
  std::vector<catalogue::PersonalItem> chosen;
  for (int row = 0; row < items->count(); ++row) {
    if (items->item(row)->checkState() == Qt::Checked) {
      chosen.push_back(catalogue::kPersonalItems.at(static_cast<std::size_t>(row)).item);
    }
  }
  return chosen;
}

}  // namespace kestrel::app
