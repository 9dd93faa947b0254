#pragma once
// A property list: the 14 catalogue rows with the columns "概要情報" (caption) and "値" (value),
// rows 20 pixels high so an in-place editor covers a row exactly. The batch list carries a check
// box in front of each caption.
//
// The list tells its owner about a click and a double click (with the pointer's position), about
// F2 or Enter on its selected row, which asks for that row's editor as a click on its value cell
// does, and, before it scrolls by a scroll bar or the wheel, that it is about to scroll, so an
// open editor is closed before the rows move under it.

#include <array>
#include <string>

#include <QTableWidget>

#include "catalogue/PropertyCatalogue.h"

namespace kestrel::app {

class PropertyListView : public QTableWidget {
  Q_OBJECT

 public:
  static constexpr int kCaptionWidth = 160;
  static constexpr int kRowHeight = 20;

  PropertyListView(bool checkable, QWidget* parent);

  // Empties the list, then one row per catalogue row: the caption and an empty value.
  void FillCatalogueRows(const catalogue::PropertyCatalogue& catalogue);

  QString Value(int row) const;
  void SetValue(int row, const QString& value);
  std::array<std::string, catalogue::kRowCount> Values() const;
  void SetValues(const std::array<std::string, catalogue::kRowCount>& values);
  void ClearValues();

  // The batch list's check boxes.
  bool Included(int row) const;
  void SetIncluded(int row, bool included);

  // -1 when no row is selected.
  int SelectedRow() const;
  // Scrolls vertically just enough to show the whole row.
  void ScrollRowIntoView(int row);
  // The row's rectangle across both columns, in the coordinates its editors are placed in.
  QRect RowBounds(int row) const;

 signals:
  void ClickedAt(QPoint pointer);
  void DoubleClickedAt(QPoint pointer);
  // `pointer` is the middle of the selected row's value cell.
  void EditRequested(QPoint pointer);
  void AboutToScroll();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QTableWidgetItem& ValueItem(int row) const;
  QTableWidgetItem& CaptionItem(int row) const;
  const bool checkable_;
};

// The width of "値" for a list this wide: 100 up to 300, else all but 180 pixels.
int ValueColumnWidth(int listWidth);

}  // namespace kestrel::app
