#include "app/PropertyListView.h"

#include <stdexcept>

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

namespace kestrel::app {
namespace {

// F2, or Enter on the main keys or the number pad, with no other modifier.
bool OpensEditor(const QKeyEvent& event) {
  const bool enter = event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter;
  return (enter || event.key() == Qt::Key_F2) && (event.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

}  // namespace

int ValueColumnWidth(int listWidth) { return listWidth <= 300 ? 100 : listWidth - 180; }

PropertyListView::PropertyListView(bool checkable, QWidget* parent) : QTableWidget(parent), checkable_(checkable) {
  setColumnCount(2);
  setHorizontalHeaderLabels({QStringLiteral("概要情報"), QStringLiteral("値")});
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  // Values change only through the in-place editors, opened by a click on a value cell or a key.
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setTabKeyNavigation(false);
  setWordWrap(false);
  setShowGrid(true);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  verticalHeader()->hide();
  verticalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setDefaultSectionSize(kRowHeight);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  // Neither column can be dragged: the caption is fixed and the value follows the list's width.
  horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setSectionsMovable(false);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setColumnWidth(0, kCaptionWidth);
  setColumnWidth(1, ValueColumnWidth(width()));
  for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
    // Emitted for the user's actions on the bar before the view moves.
    connect(bar, &QScrollBar::actionTriggered, this, [this] { emit AboutToScroll(); });
  }
}

void PropertyListView::FillCatalogueRows(const catalogue::PropertyCatalogue& catalogue) {
  clearContents();
  setRowCount(0);
  setRowCount(catalogue::kRowCount);
  for (int row = 0; row < catalogue::kRowCount; ++row) {
    const std::string caption(catalogue.Row(row).caption);
    auto* captionItem = new QTableWidgetItem(QString::fromStdString(caption));
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (checkable_) {
      flags |= Qt::ItemIsUserCheckable;
      captionItem->setCheckState(Qt::Unchecked);
    }
    captionItem->setFlags(flags);
    setItem(row, 0, captionItem);
    auto* valueItem = new QTableWidgetItem();
    valueItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    setItem(row, 1, valueItem);
  }
}

QTableWidgetItem& PropertyListView::CaptionItem(int row) const {
  QTableWidgetItem* found = item(row, 0);
  if (found == nullptr) throw std::out_of_range("no such property row");
  return *found;
}

QTableWidgetItem& PropertyListView::ValueItem(int row) const {
  QTableWidgetItem* found = item(row, 1);
  if (found == nullptr) throw std::out_of_range("no such property row");
  return *found;
}

QString PropertyListView::Value(int row) const { return ValueItem(row).text(); }

void PropertyListView::SetValue(int row, const QString& value) { ValueItem(row).setText(value); }

std::array<std::string, catalogue::kRowCount> PropertyListView::Values() const {
  std::array<std::string, catalogue::kRowCount> values;
  for (int row = 0; row < catalogue::kRowCount; ++row) {
    values.at(static_cast<std::size_t>(row)) = Value(row).toStdString();
  }
  return values;
}

void PropertyListView::SetValues(const std::array<std::string, catalogue::kRowCount>& values) {
  for (int row = 0; row < catalogue::kRowCount; ++row) {
    SetValue(row, QString::fromStdString(values.at(static_cast<std::size_t>(row))));
  }
}

void PropertyListView::ClearValues() {
  for (int row = 0; row < catalogue::kRowCount; ++row) SetValue(row, QString());
}

bool PropertyListView::Included(int row) const { return CaptionItem(row).checkState() == Qt::Checked; }

void PropertyListView::SetIncluded(int row, bool included) {
  CaptionItem(row).setCheckState(included ? Qt::Checked : Qt::Unchecked);
}

int PropertyListView::SelectedRow() const {
  const QModelIndexList rows = selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void PropertyListView::ScrollRowIntoView(int row) {
  const int top = rowViewportPosition(row);
  const int bottom = top + rowHeight(row);
  QScrollBar* bar = verticalScrollBar();
  if (top < 0) {
    bar->setValue(bar->value() + top);
  } else if (bottom > viewport()->height()) {
    bar->setValue(bar->value() + bottom - viewport()->height());
  }
}

QRect PropertyListView::RowBounds(int row) const {
  return {-horizontalOffset(), rowViewportPosition(row), columnWidth(0) + columnWidth(1), rowHeight(row)};
}

void PropertyListView::resizeEvent(QResizeEvent* event) {
  QTableWidget::resizeEvent(event);
  setColumnWidth(1, ValueColumnWidth(width()));
}

void PropertyListView::wheelEvent(QWheelEvent* event) {
  emit AboutToScroll();
  QTableWidget::wheelEvent(event);
}

void PropertyListView::keyPressEvent(QKeyEvent* event) {
  const int row = SelectedRow();
  // Only the list's own keys: an open editor's unused keys pass through here too.
  if (hasFocus() && row >= 0 && OpensEditor(*event)) {
    emit EditRequested(visualRect(model()->index(row, 1)).center());
    return;
  }
  QTableWidget::keyPressEvent(event);
}

void PropertyListView::mouseReleaseEvent(QMouseEvent* event) {
  QTableWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton) emit ClickedAt(event->position().toPoint());
}

void PropertyListView::mouseDoubleClickEvent(QMouseEvent* event) {
  QTableWidget::mouseDoubleClickEvent(event);
  if (event->button() == Qt::LeftButton) emit DoubleClickedAt(event->position().toPoint());
}

}  // namespace kestrel::app
