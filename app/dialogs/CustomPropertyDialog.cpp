#include "app/dialogs/CustomPropertyDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrel::app {
namespace {

constexpr catalogue::CustomType kTypes[] = {catalogue::CustomType::Text, catalogue::CustomType::Number,
                                            catalogue::CustomType::Date, catalogue::CustomType::YesNo};

}  // namespace

CustomPropertyDialog::CustomPropertyDialog(bool removals, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("customPropertyDialog"));
  setWindowTitle(QStringLiteral("ユーザー設定のプロパティ"));
  auto* column = new QVBoxLayout(this);
  auto* form = new QFormLayout();
  nameField = new QLineEdit(this);
  nameField->setObjectName(QStringLiteral("customNameField"));
  typeBox = new QComboBox(this);
  typeBox->setObjectName(QStringLiteral("customTypeBox"));
  for (const catalogue::CustomType type : kTypes) typeBox->addItem(QString::fromUtf8(catalogue::CustomTypeName(type)));
  if (removals) typeBox->addItem(QStringLiteral("削除"));
  valueField = new QLineEdit(this);
  valueField->setObjectName(QStringLiteral("customValueField"));
  form->addRow(QStringLiteral("名前(&N):"), nameField);
  form->addRow(QStringLiteral("種類(&T):"), typeBox);
  form->addRow(QStringLiteral("値(&V):"), valueField);
  column->addLayout(form);
  problem = new QLabel(this);
  problem->setObjectName(QStringLiteral("customProblem"));
  problem->setWordWrap(true);
  column->addWidget(problem);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
  column->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &CustomPropertyDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CustomPropertyDialog::reject);
  // A removal has no value.
  connect(typeBox, &QComboBox::currentIndexChanged, this,
          [this](int index) { valueField->setEnabled(index < static_cast<int>(std::size(kTypes))); });
}

void CustomPropertyDialog::Show(const QString& name, const std::optional<catalogue::CustomValue>& value) {
  nameField->setText(name);
  typeBox->setCurrentIndex(value ? static_cast<int>(value->type) : typeBox->count() - 1);
  valueField->setText(value ? QString::fromStdString(catalogue::CustomValueText(*value)) : QString());
  problem->clear();
}

void CustomPropertyDialog::accept() {
  const std::string name = nameField->text().trimmed().toStdString();
  if (name.empty()) {
    problem->setText(QStringLiteral("名前を入力してください。"));
    return;
  }
  name_ = name;
  const int index = typeBox->currentIndex();
  if (index >= static_cast<int>(std::size(kTypes))) {
    value_.reset();
    QDialog::accept();
    return;
  }
  const Result<catalogue::CustomValue> parsed =
      catalogue::ParseCustomValue(kTypes[index], valueField->text().toStdString());
  if (!parsed) {
    problem->setText(QStringLiteral("この値は%1として保存できません。").arg(typeBox->currentText()));
    return;
  }
  value_ = *parsed;
  QDialog::accept();
}

}  // namespace kestrel::app
