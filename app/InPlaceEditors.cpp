#include "app/InPlaceEditors.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTimeEdit>

#include "app/PickerValues.h"
#include "app/Pickers.h"
#include "app/PropertyListView.h"
#include "app/UpDown.h"
#include "catalogue/PropertyCatalogue.h"
#include "platform/text/DecimalText.h"
#include "platform/time/DateTimeText.h"
#include "platform/time/LocalDateTime.h"

namespace kestrel::app {
namespace {

constexpr int kHeight = PropertyListView::kRowHeight;
// The pickers use the tool bars' smaller face: at the list's size their frames and arrows would
// leave the value cell too narrow for the date and the time.
constexpr int kPickerFontPixels = 11;
constexpr int kDateWidth = 89;
constexpr int kTimeWidth = 73;
constexpr int kEraseWidth = 46;
constexpr int kNumberWidth = 38;
constexpr int kSpinnerWidth = 16;
constexpr int kNumberMaximum = 32767;

QCheckBox* EraseBox(QWidget* parent) {
  auto* box = new QCheckBox(QStringLiteral("消す"), parent);
  box->setAutoFillBackground(true);
  return box;
}

// Whether `widget` is `editor` or lies inside it, popups of its pickers included.
bool Inside(const QWidget* editor, const QWidget* widget) {
  for (; widget != nullptr; widget = widget->parentWidget()) {
    if (widget == editor) return true;
  }
  return false;
}

// The whole-number value of a text; 1 when it holds none.
int WholeNumber(const QString& text) { return text::ParseInt32(text.toStdString()).value_or(1); }

}  // namespace

InPlaceEditors::InPlaceEditors(QWidget& window, PropertyListView& firstList)
    : QObject(&window),
      Edit1(new QLineEdit(firstList.viewport())),
      Panel3(new QWidget(firstList.viewport())),
      DateTimePicker7(NewDatePicker(Panel3)),
      DateTimePicker8(NewTimePicker(Panel3)),
      CheckBox15(EraseBox(Panel3)),
      Panel5(new QWidget(firstList.viewport())),
      Edit3(new QLineEdit(Panel5)),
      UpDown1(new UpDown(*Edit3, 0, kNumberMaximum, Panel5)),
      CheckBox6(EraseBox(Panel5)),
      window_(window) {
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Panel3->setObjectName(QStringLiteral("Panel3"));
  DateTimePicker7->setObjectName(QStringLiteral("DateTimePicker7"));
  DateTimePicker8->setObjectName(QStringLiteral("DateTimePicker8"));
  CheckBox15->setObjectName(QStringLiteral("CheckBox15"));
  Panel5->setObjectName(QStringLiteral("Panel5"));
  Edit3->setObjectName(QStringLiteral("Edit3"));
  UpDown1->setObjectName(QStringLiteral("UpDown1"));
  CheckBox6->setObjectName(QStringLiteral("CheckBox6"));

  for (QWidget* picker : {static_cast<QWidget*>(DateTimePicker7), static_cast<QWidget*>(DateTimePicker8)}) {
    QFont font = picker->font();
    font.setPixelSize(kPickerFontPixels);
    picker->setFont(font);
  }
  // At least as wide as the cell's design asks, and wide enough to show a whole date and time.
  const int dateWidth = std::max(kDateWidth, DateTimePicker7->sizeHint().width());
  const int timeWidth = std::max(kTimeWidth, DateTimePicker8->sizeHint().width());
  DateTimePicker7->setGeometry(0, 0, dateWidth, kHeight);
  DateTimePicker8->setGeometry(dateWidth, 0, timeWidth, kHeight);
  CheckBox15->setGeometry(dateWidth + timeWidth, 0, kEraseWidth, kHeight);
  Panel3->setFocusProxy(DateTimePicker7);

  // Wide enough for the spinner's largest number.
  const int numberWidth =
      std::max(kNumberWidth, Edit3->fontMetrics().horizontalAdvance(QString::number(kNumberMaximum)) + 10);
  Edit3->setGeometry(0, 0, numberWidth, kHeight);
  Edit3->setInputMethodHints(Qt::ImhDigitsOnly);
  UpDown1->setGeometry(numberWidth, 0, kSpinnerWidth, kHeight);
  CheckBox6->setGeometry(numberWidth + kSpinnerWidth, 0, kEraseWidth, kHeight);
  CheckBox6->hide();
  Panel5->setFocusProxy(Edit3);
  Panel5->resize(numberWidth + kSpinnerWidth, kHeight);

  for (QWidget* editor : {static_cast<QWidget*>(Edit1), Panel3, Panel5}) {
    editor->setAutoFillBackground(true);
    editor->hide();
  }
  // The pickers would spend the wheel on their values; over an editor it scrolls the list.
  for (QWidget* watched : {static_cast<QWidget*>(Edit1), static_cast<QWidget*>(DateTimePicker7),
                           static_cast<QWidget*>(DateTimePicker8), static_cast<QWidget*>(Edit3)}) {
    watched->installEventFilter(this);
  }
  connect(qApp, &QApplication::focusChanged, this, &InPlaceEditors::FocusChanged);
}

PropertyListView* InPlaceEditors::ListOf(const QWidget* editor) {
  const QWidget* viewport = editor->parentWidget();
  return viewport != nullptr ? qobject_cast<PropertyListView*>(viewport->parentWidget()) : nullptr;
}

void InPlaceEditors::MoveInto(QWidget* editor, PropertyListView& list) {
  if (editor->parentWidget() != list.viewport()) editor->setParent(list.viewport());
}

void InPlaceEditors::OpenAt(PropertyListView& list, QPoint pointer) {
  // A click reaches the list only after the focus left any open editor, so Edit1 is closed here.
  if (ListOf(Edit1) != &list) {
    if (!Edit1->isHidden()) Edit1Exit();
    MoveInto(Edit1, list);
  }
  const int row = list.rowAt(pointer.y());
  if (row < 0) return;
  list.selectRow(row);
  list.ScrollRowIntoView(row);
  const int scroll = list.horizontalScrollBar()->value();
  const int captionWidth = list.columnWidth(0);
  const int valueWidth = list.columnWidth(1);
  if (pointer.x() <= captionWidth - scroll || pointer.x() >= captionWidth + valueWidth - scroll) return;
  const QRect bounds = list.RowBounds(row);
  if (PlaceTypedEditor(list, QPoint(captionWidth, bounds.top()), scroll)) return;
  Edit1->setGeometry(captionWidth + 3 - scroll, bounds.top(), valueWidth - 4, bounds.height());
  Edit1->setText(list.Value(row));
  Edit1->show();
  Edit1->raise();
  Edit1->setFocus(Qt::MouseFocusReason);
}

bool InPlaceEditors::PlaceTypedEditor(PropertyListView& list, QPoint anchor, int scroll) {
  const int row = list.SelectedRow();
  const QPoint topLeft(anchor.x() + 2 - scroll, anchor.y());
  switch (row) {
    case catalogue::kCreated:
    case catalogue::kLastSaved:
    case catalogue::kLastPrinted: {
      MoveInto(Panel3, list);
      const QString value = list.Value(row);
      // An empty value or one that is no date and time shows the current date and time.
      const std::optional<time::LocalDateTime> parsed = time::ParseDateTimeText(value.toStdString());
      std::optional<PickerValue> shown = parsed ? ToPickerValue(*parsed) : std::nullopt;
      if (!shown) shown = ToPickerValue(CurrentLocalDateTime());
      DateTimePicker7->setDate(shown.value().date);
      DateTimePicker8->setTime(shown.value().time);
      const bool erasable = row == catalogue::kLastPrinted;
      CheckBox15->setVisible(erasable);
      CheckBox15->setChecked(erasable && value.isEmpty());
      const int width = DateTimePicker8->geometry().right() + 1 + (erasable ? kEraseWidth : 0);
      // The widest editor would reach under the batch list's scroll bar, hiding "消す": it moves
      // left just enough to stay inside the list, over the empty end of the caption cell.
      const int left = std::max(0, std::min(topLeft.x(), list.viewport()->width() - width));
      Panel3->setGeometry(QRect(QPoint(left, topLeft.y()), QSize(width, kHeight)));
      Panel3->show();
      Panel3->raise();
      Panel3->setFocus(Qt::MouseFocusReason);
      return true;
    }
    case catalogue::kRevisionNumber:
    case catalogue::kEditingTime: {
      MoveInto(Panel5, list);
      Panel5->move(topLeft);
      Panel5->show();
      Panel5->raise();
      CheckBox6->hide();
      const int number = WholeNumber(list.Value(row));
      Edit3->setText(QString::number(number));
      UpDown1->SetPosition(number);
      Panel5->setFocus(Qt::MouseFocusReason);
      return true;
    }
    default:
      return false;
  }
}

void InPlaceEditors::CloseEditors() {
  if (!Edit1->isHidden()) Edit1Exit();
  if (!Panel3->isHidden()) Panel3Exit();
  if (!Panel5->isHidden()) Panel5Exit();
}

void InPlaceEditors::WriteRow(const QWidget* editor, const QString& value) {
  PropertyListView* list = ListOf(editor);
  if (list == nullptr) return;
  const int row = list->SelectedRow();
  if (row >= 0) list->SetValue(row, value);
}

void InPlaceEditors::Hide(QWidget* editor) {
  PropertyListView* list = ListOf(editor);
  if (list != nullptr && Inside(editor, QApplication::focusWidget())) {
    hiding_ = true;
    list->setFocus(Qt::OtherFocusReason);
    hiding_ = false;
  }
  editor->hide();
}

void InPlaceEditors::Edit1Exit() {
  WriteRow(Edit1, Edit1->text());
  Hide(Edit1);
}

void InPlaceEditors::Panel3Exit() {
  QString value;
  if (!CheckBox15->isHidden() && CheckBox15->isChecked()) {
    value.clear();  // the erase state of the last-printed row
  } else {
    // The seconds are dropped: the time of day is the picker's hour and minute.
    const QDate date = DateTimePicker7->date();
    const QTime time = DateTimePicker8->time();
    const std::optional<time::LocalDateTime> stamp =
        time::EncodeLocalDateTime({date.year(), date.month(), date.day(), time.hour(), time.minute(), 0, 0});
    if (stamp) value = QString::fromStdString(time::FormatDateTimeText(*stamp));
  }
  WriteRow(Panel3, value);
  Hide(Panel3);
}

void InPlaceEditors::Panel5Exit() {
  // An emptied box counts as 1, as does anything that is not a whole number.
  Edit3->setText(QString::number(WholeNumber(Edit3->text())));
  WriteRow(Panel5, Edit3->text());
  Hide(Panel5);
}

bool InPlaceEditors::Edit1KeyDown(int key) {
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    Edit1Exit();
    return true;
  }
  if (key == Qt::Key_Escape) {
    if (PropertyListView* list = ListOf(Edit1); list != nullptr && list->SelectedRow() >= 0) {
      Edit1->setText(list->Value(list->SelectedRow()));
    }
    Edit1Exit();
    return true;
  }
  return false;
}

bool InPlaceEditors::Edit3KeyPress(const QString& text, int key) {
  if (key == Qt::Key_Up || key == Qt::Key_Down) {
    UpDown1->Step(key == Qt::Key_Up ? 1 : -1);
    return true;
  }
  // Only digits, Backspace and Enter reach the box; every other character is discarded. Keys
  // that type nothing pass: arrows and Home, and Delete and Tab, which the desktop sends with a
  // control character as their text; Tab thus still moves the focus on.
  if (text.isEmpty() || key == Qt::Key_Backspace || key == Qt::Key_Return || key == Qt::Key_Enter ||
      key == Qt::Key_Delete || key == Qt::Key_Tab || key == Qt::Key_Backtab) {
    return false;
  }
  return !(text.size() == 1 && text.front() >= u'0' && text.front() <= u'9');
}

bool InPlaceEditors::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress: {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (watched == Edit1) return Edit1KeyDown(key->key());
      if (watched == Edit3) return Edit3KeyPress(key->text(), key->key());
      return false;
    }
    case QEvent::InputMethod: {
      if (watched != Edit3) return false;
      const QString committed = static_cast<QInputMethodEvent*>(event)->commitString();
      return std::any_of(committed.begin(), committed.end(), [](QChar c) { return c < u'0' || c > u'9'; });
    }
    case QEvent::Wheel: {
      auto* widget = qobject_cast<QWidget*>(watched);
      QWidget* editor = Inside(Panel3, widget) ? Panel3 : Inside(Panel5, widget) ? Panel5 : Edit1;
      if (PropertyListView* list = ListOf(editor)) QApplication::sendEvent(list->viewport(), event);
      return true;
    }
    default:
      return false;
  }
}

void InPlaceEditors::FocusChanged(QWidget* old, QWidget* now) {
  // Focus leaving for another window (a message box, another program) or for nothing closes no
  // editor, and neither does a move inside an editor, into a picker's popup included.
  if (hiding_ || now == nullptr || now->window() != &window_) return;
  if (!Edit1->isHidden() && Inside(Edit1, old) && !Inside(Edit1, now)) Edit1Exit();
  if (!Panel3->isHidden() && Inside(Panel3, old) && !Inside(Panel3, now)) Panel3Exit();
  if (!Panel5->isHidden() && Inside(Panel5, old) && !Inside(Panel5, now)) Panel5Exit();
}

}  // namespace kestrel::app
