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
      documentLabel(new QLabel(this)),
      progressBar(new QProgressBar(this)),
      percentLabel(new QLabel(this)),
      cancelButton(new QPushButton(QStringLiteral("キャンセル"), this)),
      startDelay(new QTimer(this)) {
  setWindowTitle(caption);
  documentLabel->setObjectName(QStringLiteral("documentLabel"));
  progressBar->setObjectName(QStringLiteral("progressBar"));
  percentLabel->setObjectName(QStringLiteral("percentLabel"));
  cancelButton->setObjectName(QStringLiteral("cancelButton"));
  startDelay->setObjectName(QStringLiteral("startDelay"));

  documentLabel->setGeometry(16, 8, 0, 16);
  progressBar->setGeometry(16, 32, 273, 16);
  progressBar->setRange(0, 100);
  // The percentage stands beside the bar in percentLabel.
  progressBar->setTextVisible(false);
  percentLabel->setGeometry(296, 32, 48, 16);
  cancelButton->setGeometry(144, 56, 75, 25);
  cancelButton->setAutoDefault(false);
  startDelay->setInterval(kTimerInterval);
  connect(cancelButton, &QPushButton::clicked, this, &ProgressDialog::RequestCancel);
  connect(startDelay, &QTimer::timeout, this, &ProgressDialog::TimerFired);
}

void ProgressDialog::Reset() {
  cancel_ = false;
  abandoned_.clear();
  documentLabel->clear();
  percentLabel->setText(QStringLiteral("0%"));
  progressBar->setValue(0);
  startDelay->start();
}

void ProgressDialog::TimerFired() {
  startDelay->stop();
  if (running_) return;
  running_ = true;
  try {
    Run();
  } catch (const std::exception& error) {
    // The loops count a document's failure themselves; whatever else went wrong ends the run here.
    abandoned_ = QString::fromLocal8Bit(error.what());
  }
  running_ = false;
  if (isVisible()) CloseDialog();
}

void ProgressDialog::PendingEvents() { QCoreApplication::processEvents(); }

void ProgressDialog::ShowDocument(const QString& path) {
  documentLabel->setText(path);
  // The label runs to the right edge; a longer path is cut there.
  documentLabel->resize(width() - documentLabel->x(), documentLabel->height());
}

void ProgressDialog::ShowProgress(int done, int count) {
  const int percent = ProgressPercent(done, count);
  percentLabel->setText(QString::number(percent) + u'%');
  progressBar->setValue(percent);
}

void ProgressDialog::FillBar() {
  progressBar->setValue(100);
  // No events run during the pause, so the full bar is painted now.
  progressBar->repaint();
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
  if (!running_ && !startDelay->isActive()) QDialog::reject();
}

}  // namespace kestrel::app
