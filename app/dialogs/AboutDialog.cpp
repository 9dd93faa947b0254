#include "app/dialogs/AboutDialog.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include "app/ApplicationTitle.h"
#include "app/Dialogs.h"
#include "app/MakerAddresses.h"
#include "app/StatusIcons.h"

namespace kestrel::app {
namespace {

QLabel* Named(QLabel* label, const char* name) {
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

// Underlined, with a hand cursor; a click opens it.
QLabel* Link(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  QFont font = label->font();
  font.setUnderline(true);
  label->setFont(font);
  label->setStyleSheet(QStringLiteral("color: #0000cc;"));
  label->setCursor(Qt::PointingHandCursor);
  return label;
}

}  // namespace

AboutDialog::AboutDialog(Dialogs& dialogs, const StatusIcons& icons, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs) {
  setWindowTitle(QStringLiteral("バージョン情報"));
  setFixedSize(402, 205);
  setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen()->availableGeometry()));

  auto* panel = new QFrame(this);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* grid = new QGridLayout(panel);
  grid->setContentsMargins(10, 10, 10, 10);
  grid->setHorizontalSpacing(12);
  grid->setVerticalSpacing(4);
  auto* icon = new QLabel(panel);
  icon->setPixmap(icons.ProgramIcon().pixmap(32, 32));
  icon->setFixedSize(32, 32);
  grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);

  productName = Named(new QLabel(ApplicationTitle(), panel), "productName");
  QFont title = productName->font();
  title.setBold(true);
  productName->setFont(title);
  version = Named(new QLabel(QStringLiteral("バージョン: " KESTREL_VERSION), panel), "version");
  grid->addWidget(productName, 0, 1, 1, 2);
  grid->addWidget(version, 1, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Copyright (C) %1. All rights reserved.").arg(kMakerName), panel), 2, 1, 1, 2);

  supportLink = Named(Link(kSupportAddress, panel), "supportLink");
  homePageLink = Named(Link(kHomePage, panel), "homePageLink");
  grid->addWidget(new QLabel(QStringLiteral("メールアドレス："), panel), 3, 1);
  grid->addWidget(supportLink, 3, 2, Qt::AlignLeft);
  grid->addWidget(new QLabel(QStringLiteral("ホームページ："), panel), 4, 1);
  grid->addWidget(homePageLink, 4, 2, Qt::AlignLeft);
  grid->addWidget(new QLabel(QStringLiteral("ご意見・ご要望をお寄せください。"), panel), 5, 1, 1, 2);
  grid->setColumnStretch(2, 1);
  for (QLabel* link : {supportLink, homePageLink}) link->installEventFilter(this);

  okButton = new QPushButton(QStringLiteral("終了"), this);
  okButton->setObjectName(QStringLiteral("okButton"));
  okButton->setDefault(true);
  connect(okButton, &QPushButton::clicked, this, &QDialog::accept);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(8, 8, 8, 8);
  column->addWidget(panel, 1);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  buttons->addWidget(okButton);
  buttons->addStretch();
  column->addLayout(buttons);
}

void AboutDialog::SupportLinkClick() { dialogs_.OpenWithDefaultHandler(SupportMailUrl()); }

void AboutDialog::HomePageLinkClick() { dialogs_.OpenWithDefaultHandler(QUrl(kHomePage)); }

bool AboutDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    if (watched == supportLink) SupportLinkClick();
    if (watched == homePageLink) HomePageLinkClick();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace kestrel::app
