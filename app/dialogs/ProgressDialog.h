#pragma once
// What the progress dialogs of the batch change and of the CSV export share: the document being
// worked on, a bar with its percentage, the cancel button with its flag, and a 100 ms timer that
// starts the work once the dialog is on the screen.
//
// The work runs on the one thread, inside the timer's event, and lets pending events run at the
// points it chooses: that is when the dialog repaints and when a press on "キャンセル" is seen.
// From the moment the work is prepared until it ends, neither Escape nor the window frame closes
// the dialog; it closes itself at the end.

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace kestrel::app {

// 100 × done / count, rounded to the nearest whole number, a value exactly halfway going to the
// even neighbour: eight documents give 12, 25, 38, 50, 62, 75, 88, 100.
constexpr int ProgressPercent(int done, int count) {
  const long long scaled = 100LL * done;
  long long percent = scaled / count;
  const long long twiceRest = 2 * (scaled % count);
  if (twiceRest > count || (twiceRest == count && percent % 2 != 0)) ++percent;
  return static_cast<int>(percent);
}

class ProgressDialog : public QDialog {
 public:
  QLabel* const documentLabel;      // the full path of the document at hand
  QProgressBar* const progressBar;  // 0 to 100
  QLabel* const percentLabel;       // the percentage, "38%"
  QPushButton* const cancelButton;  // "キャンセル"
  QTimer* const startDelay;         // 100 ms, stopped until a run is prepared

  // The cancel flag: set by cancelButton, looked at before each document.
  bool Cancelled() const { return cancel_; }

  // Escape and the window frame's close button: ignored while the work is prepared or runs.
  void reject() override;

  // Why the last run ended before its end (memory ran out, say); empty when it did not.
  const QString& Abandoned() const { return abandoned_; }

 protected:
  ProgressDialog(const QString& caption, QWidget* parent);

  // Cancel flag false, documentLabel empty, percentLabel "0%", the bar at 0, the timer started.
  void Reset();

  // Lets pending window events run: repaints, and presses on the cancel button.
  static void PendingEvents();
  void ShowDocument(const QString& path);
  // The percentage after `done` of `count` documents, in percentLabel and on the bar.
  void ShowProgress(int done, int count);
  // The bar at 100 (percentLabel keeps its text), then a pause of 100 ms.
  void FillBar();
  // Clears the cancel flag and closes the dialog.
  void CloseDialog();

 private:
  // The work of one run, entered once per run with the timer already stopped; it ends with
  // CloseDialog. An error escaping it closes the dialog all the same.
  virtual void Run() = 0;
  void TimerFired();
  void RequestCancel() { cancel_ = true; }

  bool cancel_ = false;
  bool running_ = false;  // the timer's event is at work; the dialog closes only at its end
  QString abandoned_;
};

}  // namespace kestrel::app
