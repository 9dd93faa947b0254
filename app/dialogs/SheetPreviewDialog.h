#pragma once
// The preview of 「CSVから変更」: every cell an edited sheet would change (document, item, value
// now, new value) and every line it refuses with its reason, before anything is written.

#include <vector>

#include <QDialog>

#include "sheet/LinePlan.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace kestrel::app {

class SheetPreviewDialog : public QDialog {
 public:
  explicit SheetPreviewDialog(QWidget* parent);

  // A refused line: its number in the sheet and why.
  struct Refusal {
    std::size_t line;
    QString reason;
  };
  // Fills the tables; 変更 is on only when some document would change.
  void Show(const std::vector<sheet::LinePlan>& plans, const std::vector<Refusal>& refusals);

  QTableWidget* changes = nullptr;
  QTableWidget* refused = nullptr;
  QLabel* summary = nullptr;
  QPushButton* applyButton = nullptr;
};

}  // namespace kestrel::app
