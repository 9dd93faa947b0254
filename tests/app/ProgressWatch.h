#pragma once
// Watches a progress dialog from inside its run: a timer that fires whenever the run lets pending
// events through records what the dialog shows and can press its buttons, as a user would.

#include <functional>

#include <QString>
#include <QStringList>
#include <QTimer>

namespace kestrel::app {
class ProgressDialog;
}

namespace kestrel::app::test {

class ProgressWatch {
 public:
  explicit ProgressWatch(ProgressDialog& dialog);

  // Runs `action` once, the first time the dialog shows `path` in documentLabel.
  void At(const QString& path, std::function<void()> action);
  // Presses "キャンセル" the first time the dialog shows `path`.
  void CancelAt(const QString& path);

  // The texts of percentLabel in the order shown, each change once ("0%" first).
  const QStringList& Percentages() const { return percentages_; }
  // The documents documentLabel showed, in order.
  const QStringList& Documents() const { return documents_; }

 private:
  void Look();

  ProgressDialog& dialog_;
  QTimer timer_;
  QStringList percentages_;
  QStringList documents_;
  QString actionPath_;
  std::function<void()> action_;
};

}  // namespace kestrel::app::test
