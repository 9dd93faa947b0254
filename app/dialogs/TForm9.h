#pragma once
// The progress dialog of the CSV export.

#include <QDialog>

namespace kestrel::app {

class TForm9 : public QDialog {
 public:
  explicit TForm9(QWidget* parent);
};

}  // namespace kestrel::app
