#pragma once
// The progress dialog of the batch change.

#include <QDialog>

namespace kestrel::app {

class TForm7 : public QDialog {
 public:
  explicit TForm7(QWidget* parent);
};

}  // namespace kestrel::app
