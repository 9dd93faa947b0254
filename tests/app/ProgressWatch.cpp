#include "tests/app/ProgressWatch.h"

#include <utility>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app/dialogs/ProgressDialog.h"

namespace kestrel::app::test {

ProgressWatch::ProgressWatch(ProgressDialog& dialog) : dialog_(dialog) {
  // A zero interval fires on every pass of pending events.
  timer_.setInterval(0);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
  timer_.start();
}

void ProgressWatch::At(const QString& path, std::function<void()> action) {
  actionPath_ = path;
  action_ = std::move(action);
}

void ProgressWatch::CancelAt(const QString& path) {
  At(path, [this] { QTest::mouseClick(dialog_.cancelButton, Qt::LeftButton); });
}

void ProgressWatch::Look() {
  if (!dialog_.isVisible()) return;
  const QString percentage = dialog_.percentLabel->text();
  if (percentages_.isEmpty() || percentages_.back() != percentage) percentages_ << percentage;
  const QString document = dialog_.documentLabel->text();
  if (!document.isEmpty() && (documents_.isEmpty() || documents_.back() != document)) documents_ << document;
  if (action_ && document == actionPath_) std::exchange(action_, nullptr)();
}

}  // namespace kestrel::app::test
