#include "app/dialogs/SheetPreviewDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kestrel::app {
namespace {

QTableWidget* Table(QWidget* parent, const char* name, const QString& accessible, const QStringList& headers) {
  auto* table = new QTableWidget(0, static_cast<int>(headers.size()), parent);
  table->setObjectName(QString::fromLatin1(name));
  table->setAccessibleName(accessible);
  table->setHorizontalHeaderLabels(headers);
  table->horizontalHeader()->setStretchLastSection(true);
  table->verticalHeader()->hide();
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  return table;
}

void AddRow(QTableWidget* table, const QStringList& cells) {
  const int row = table->rowCount();
  table->insertRow(row);
  for (int column = 0; column < cells.size(); ++column) table->setItem(row, column, new QTableWidgetItem(cells[column]));
}

}  // namespace

SheetPreviewDialog::SheetPreviewDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("sheetPreviewDialog"));
  setWindowTitle(QStringLiteral("CSVから変更"));
  resize(720, 480);
  auto* column = new QVBoxLayout(this);
  summary = new QLabel(this);
  summary->setWordWrap(true);
  column->addWidget(summary);
  changes = Table(this, "sheetChanges", QStringLiteral("変更される値"),
                  {QStringLiteral("ファイル"), QStringLiteral("項目"), QStringLiteral("現在の値"), QStringLiteral("新しい値")});
  column->addWidget(changes, 3);
  column->addWidget(new QLabel(QStringLiteral("変更しない行:"), this));
  refused = Table(this, "sheetRefusals", QStringLiteral("変更しない行"), {QStringLiteral("行"), QStringLiteral("理由")});
  column->addWidget(refused, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  applyButton = buttons->button(QDialogButtonBox::Ok);
  applyButton->setText(QStringLiteral("変更"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
  column->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void SheetPreviewDialog::Show(const std::vector<sheet::LinePlan>& plans, const std::vector<Refusal>& refusals) {
  changes->setRowCount(0);
  refused->setRowCount(0);
  int changing = 0;
  for (const sheet::LinePlan& plan : plans) {
    if (!plan.differences.empty()) ++changing;
    for (const sheet::Difference& difference : plan.differences) {
      AddRow(changes, {QString::fromStdString(plan.document), QString::fromStdString(difference.caption),
                       QString::fromStdString(difference.before), QString::fromStdString(difference.after)});
    }
  }
  for (const Refusal& refusal : refusals) AddRow(refused, {QString::number(refusal.line), refusal.reason});
  summary->setText(QStringLiteral("%1 件のファイルを変更します（変更なし %2 件、変更しない行 %3 行）")
                       .arg(changing)
                       .arg(static_cast<int>(plans.size()) - changing)
                       .arg(static_cast<int>(refusals.size())));
  applyButton->setEnabled(changing > 0);
}

}  // namespace kestrel::app
