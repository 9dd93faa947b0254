#pragma once
// The hint window: one static page explaining the main window, the file status icons and what
// checked, unchecked and grayed boxes mean.

#include <QDialog>

class QLabel;
class QPushButton;

namespace kestrel::app {

class StatusIcons;

class HintsDialog : public QDialog {
 public:
  HintsDialog(const StatusIcons& icons, QWidget* parent);

  QPushButton* closeButton = nullptr;

 private:
  void ShowNotChangedIcon();

  QLabel* notChangedIcon_ = nullptr;  // hidden in the design, shown at start-up
};

}  // namespace kestrel::app
