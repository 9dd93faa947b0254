#include "app/dialogs/ProgressDialog.h"

#include <exception>

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>

namespace kestrel::app {
namespace {

constexpr int kTimerInterval = 100;
constexpr int kFullBarPause = 100;

}  // namespace

ProgressDialog::ProgressDialog(const QString& caption, QWidget* parent)
    : QDialog(parent),
      Label1(new QLabel(this)),
      ProgressBar1(new QProgressBar(this)),
      Label2(new QLabel(this)),
      Button1(new QPushButton(QStringLiteral("キャンセル"), this)),
      Timer1(new QTimer(this)) {
  setWindowTitle(caption);
  Label1->setObjectName(QStringLiteral("Label1"));
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  Label2->setObjectName(QStringLiteral("Label2"));
  Button1->setObjectName(QStringLiteral("Button1"));
  Timer1->setObjectName(QStringLiteral("Timer1"));

  Label1->setGeometry(16, 8, 0, 16);
  ProgressBar1->setGeometry(16, 32, 273, 16);
  ProgressBar1->setRange(0, 100);
  // The percentage stands beside the bar in Label2.
  ProgressBar1->setTextVisible(false);
  Label2->setGeometry(296, 32, 48, 16);
  Button1->setGeometry(144, 56, 75, 25);
  Button1->setAutoDefault(false);
  Timer1->setInterval(kTimerInterval);
  connect(Button1, &QPushButton::clicked, this, &ProgressDialog::Button1Click);
  connect(Timer1, &QTimer::timeout, this, &ProgressDialog::TimerFired);
}

void ProgressDialog::Reset() {
  cancel_ = false;
  Label1->clear();
  Label2->setText(QStringLiteral("0%"));
  ProgressBar1->setValue(0);
  Timer1->start();
}

void ProgressDialog::TimerFired() {
  Timer1->stop();
  if (running_) return;
  running_ = true;
  try {
    Timer1Timer();
  } catch (const std::exception&) {
    // The loops count a document's failure themselves; whatever else went wrong ends the run here.
  }
  running_ = false;
  if (isVisible()) CloseDialog();
}

void ProgressDialog::PendingEvents() { QCoreApplication::processEvents(); }

void ProgressDialog::ShowDocument(const QString& path) {
  Label1->setText(path);
  // The label runs to the right edge; a longer path is cut there.
  Label1->resize(width() - Label1->x(), Label1->height());
}

void ProgressDialog::ShowProgress(int done, int count) {
  const int percent = ProgressPercent(done, count);
  Label2->setText(QString::number(percent) + u'%');
  ProgressBar1->setValue(percent);
}

void ProgressDialog::FillBar() {
  ProgressBar1->setValue(100);
  // No events run during the pause, so the full bar is painted now.
  ProgressBar1->repaint();
  QThread::msleep(kFullBarPause);
}

void ProgressDialog::CloseDialog() {
  cancel_ = false;
  running_ = false;
  accept();
}

void ProgressDialog::reject() {
  // From the moment a run is prepared: closing before the timer fires would leave the run to
  // start later, with nothing left to work on.
  if (!running_ && !Timer1->isActive()) QDialog::reject();
}

}  // namespace kestrel::app
