#include "app/dialogs/HintsDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include "app/StatusIcons.h"

namespace kestrel::app {
namespace {

constexpr int kIndent = 16;

enum class Style { Plain, Bold, Warning };

QLabel* Line(QWidget* parent, const QString& text, Style style) {
  auto* label = new QLabel(text, parent);
  if (style != Style::Plain) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
  }
  if (style == Style::Warning) label->setStyleSheet(QStringLiteral("color: #e00000;"));
  return label;
}

// A box of the disabled samples, in the state it explains.
QCheckBox* SampleBox(QWidget* parent, const QString& text, Qt::CheckState state) {
  auto* box = new QCheckBox(text, parent);
  box->setTristate(state == Qt::PartiallyChecked);
  box->setCheckState(state);
  return box;
}

QGroupBox* SampleGroup(QWidget* parent, const QString& title) {
  auto* group = new QGroupBox(title, parent);
  new QVBoxLayout(group);
  group->layout()->setContentsMargins(8, 2, 8, 4);
  group->layout()->setSpacing(2);
  return group;
}

}  // namespace

HintsDialog::HintsDialog(const StatusIcons& icons, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("ヘルプヒント"));
  resize(635, 521);
  setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen()->availableGeometry()));
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::white);
  setPalette(palette);

  auto* page = new QVBoxLayout(this);
  page->setContentsMargins(10, 10, 10, 10);
  page->setSpacing(5);
  auto indented = [this, page](const QString& text) {
    auto* row = new QHBoxLayout();
    row->addSpacing(kIndent);
    row->addWidget(Line(this, text, Style::Plain), 1);
    page->addLayout(row);
  };

  page->addWidget(Line(this, QStringLiteral("変更する前に、変更したいファイルを開いている他のアプリケーションを終了してください"),
                       Style::Warning));
  page->addSpacing(10);
  page->addWidget(Line(this, QStringLiteral("変更したいファイルを選択する"), Style::Bold));
  page->addWidget(
      Line(this, QStringLiteral("ファイルを追加する：一度に複数のファイルを選択することができます。"), Style::Plain));
  indented(QStringLiteral("システムファイルや「隠し」を設定されたファイルは表示されない場合がありますので、ご注意ください。"));
  page->addWidget(Line(
      this, QStringLiteral("フォルダからファイルを追加する：フォルダを選択すれば、フォルダ内のすべてのファイルは「ファイル一覧」に"),
      Style::Plain));
  indented(QStringLiteral("追加されます、隠されているファイルやシステムファイルもかまいません。"));
  page->addWidget(Line(this, QStringLiteral("各ファイルには3つの状態があります。"), Style::Plain));

  const std::array<std::pair<FileStatus, QString>, 4> legend = {{
      {FileStatus::NotChanged, QStringLiteral("変更していないファイル")},
      {FileStatus::ReadError,
       QStringLiteral("エラーや他のプログラムで開かれているため、ファイルの情報を得ることができません")},
      {FileStatus::Changed, QStringLiteral("変更完了")},
      {FileStatus::ChangeError, QStringLiteral("エラーや他のプログラムで開かれているため、変更することができませんでした")},
  }};
  for (const auto& [status, text] : legend) {
    auto* row = new QHBoxLayout();
    row->addSpacing(kIndent);
    auto* icon = new QLabel(this);
    icon->setPixmap(icons.Icon(status).pixmap(16, 16));
    icon->setFixedSize(16, 16);
    row->addWidget(icon);
    row->addSpacing(6);
    row->addWidget(Line(this, text, Style::Plain), 1);
    page->addLayout(row);
    if (status == FileStatus::NotChanged) {
      notChangedIcon_ = icon;
      icon->hide();
    }
  }

  page->addSpacing(10);
  page->addWidget(Line(this, QStringLiteral("ファイル属性を変更するオプション"), Style::Bold));
  auto* samples = new QWidget(this);
  auto* sampleRow = new QHBoxLayout(samples);
  sampleRow->setContentsMargins(kIndent, 0, 0, 0);
  QGroupBox* times = SampleGroup(samples, QStringLiteral("ファイル日時"));
  times->layout()->addWidget(SampleBox(times, QStringLiteral("日付や時刻を変更"), Qt::Checked));
  times->layout()->addWidget(SampleBox(times, QStringLiteral("元の日付や時刻を保持する"), Qt::Unchecked));
  QGroupBox* attributes = SampleGroup(samples, QStringLiteral("ファイル属性"));
  attributes->layout()->addWidget(SampleBox(attributes, QStringLiteral("属性を変更しません"), Qt::PartiallyChecked));
  attributes->layout()->addWidget(SampleBox(attributes, QStringLiteral("属性オン"), Qt::Checked));
  attributes->layout()->addWidget(SampleBox(attributes, QStringLiteral("属性オフ"), Qt::Unchecked));
  QGroupBox* properties = SampleGroup(samples, QStringLiteral("概要情報："));
  properties->layout()->addWidget(new QLabel(QStringLiteral("値をクリックして、値を編集する"), properties));
  properties->layout()->addWidget(SampleBox(properties, QStringLiteral("概要情報を変更する"), Qt::Checked));
  properties->layout()->addWidget(SampleBox(properties, QStringLiteral("元の概要情報を保持する"), Qt::Unchecked));
  for (QGroupBox* group : {times, attributes, properties}) {
    sampleRow->addWidget(group, 0, Qt::AlignTop);
  }
  sampleRow->addStretch();
  samples->setEnabled(false);
  page->addWidget(samples);

  page->addSpacing(10);
  page->addWidget(Line(this, QStringLiteral("バックアップオプション"), Style::Bold));
  auto* backup = new QWidget(this);
  auto* backupColumn = new QVBoxLayout(backup);
  backupColumn->setContentsMargins(kIndent, 0, 0, 0);
  backupColumn->setSpacing(2);
  backupColumn->addWidget(
      SampleBox(backup, QStringLiteral("変更する前に、元のファイルを同じフォルダにバックアップする"), Qt::Checked));
  backupColumn->addWidget(new QLabel(
      QStringLiteral("このオプションをオンする場合、元のファイルは自動的に同じフォルダにバックアップする。"), backup));
  backup->setEnabled(false);
  page->addWidget(backup);

  page->addStretch();
  closeButton = new QPushButton(QStringLiteral("終了"), this);
  closeButton->setObjectName(QStringLiteral("closeButton"));
  connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  buttons->addWidget(closeButton);
  page->addLayout(buttons);

  ShowNotChangedIcon();
}

void HintsDialog::ShowNotChangedIcon() { notChangedIcon_->show(); }

}  // namespace kestrel::app
