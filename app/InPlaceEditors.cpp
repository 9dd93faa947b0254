#include "app/InPlaceEditors.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTimeEdit>

#include "app/PickerValues.h"
#include "app/Pickers.h"
#include "app/TypedPickerEntry.h"
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
// A thin margin, so one line of text fits the row's height.
constexpr int kTextMargin = 1;
// Longer values scroll inside the text editor rather than cover the whole list.
constexpr int kTextLinesShown = 8;

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

// The line break of an edited value: the one its value had before.
QString LineBreakOf(const QString& value) {
  if (value.contains(u"\r\n")) return QStringLiteral("\r\n");
  if (value.contains(u'\r')) return QStringLiteral("\r");
  return QStringLiteral("\n");
}

}  // namespace

TextEditor::TextEditor(QWidget* parent) : QPlainTextEdit(parent) {
  setLineWrapMode(NoWrap);
  setTabChangesFocus(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  document()->setDocumentMargin(kTextMargin);
}

void TextEditor::setText(const QString& value) {
  setPlainText(value);
  value_ = value;
  shown_ = document()->toRawText();
}

QString TextEditor::text() const {
  // The box turns "\r\n", "\r" and "\n" alike into its own line separator.
  QString raw = document()->toRawText();
  if (raw == shown_) return value_;
  return raw.replace(QChar::ParagraphSeparator, LineBreakOf(value_));
}

InPlaceEditors::InPlaceEditors(QWidget& window, PropertyListView& firstList)
    : QObject(&window),
      textEditor(new TextEditor(firstList.viewport())),
      dateTimeEditor(new QWidget(firstList.viewport())),
      editorDate(NewDatePicker(dateTimeEditor)),
      editorTime(NewTimePicker(dateTimeEditor)),
      eraseBox(EraseBox(dateTimeEditor)),
      numberEditor(new QWidget(firstList.viewport())),
      numberBox(new QLineEdit(numberEditor)),
      numberSpinner(new UpDown(*numberBox, 0, kNumberMaximum, numberEditor)),
      window_(window) {
  textEditor->setObjectName(QStringLiteral("textEditor"));
  dateTimeEditor->setObjectName(QStringLiteral("dateTimeEditor"));
  editorDate->setObjectName(QStringLiteral("editorDate"));
  editorTime->setObjectName(QStringLiteral("editorTime"));
  eraseBox->setObjectName(QStringLiteral("eraseBox"));
  numberEditor->setObjectName(QStringLiteral("numberEditor"));
  numberBox->setObjectName(QStringLiteral("numberBox"));
  numberSpinner->setObjectName(QStringLiteral("numberSpinner"));
  editorDate->setAccessibleName(QStringLiteral("値の日付"));
  editorTime->setAccessibleName(QStringLiteral("値の時刻"));
  numberBox->setAccessibleName(QStringLiteral("値"));

  for (QWidget* picker : {static_cast<QWidget*>(editorDate), static_cast<QWidget*>(editorTime)}) {
    QFont font = picker->font();
    font.setPixelSize(kPickerFontPixels);
    picker->setFont(font);
  }
  // At least as wide as the cell's design asks, and wide enough to show a whole date and time.
  const int dateWidth = std::max(kDateWidth, editorDate->sizeHint().width());
  const int timeWidth = std::max(kTimeWidth, editorTime->sizeHint().width());
  editorDate->setGeometry(0, 0, dateWidth, kHeight);
  editorTime->setGeometry(dateWidth, 0, timeWidth, kHeight);
  eraseBox->setGeometry(dateWidth + timeWidth, 0, kEraseWidth, kHeight);
  dateTimeEditor->setFocusProxy(editorDate);
  PairTypedValues(*editorDate, *editorTime);

  // Wide enough for the spinner's largest number.
  const int numberWidth =
      std::max(kNumberWidth, numberBox->fontMetrics().horizontalAdvance(QString::number(kNumberMaximum)) + 10);
  numberBox->setGeometry(0, 0, numberWidth, kHeight);
  numberBox->setInputMethodHints(Qt::ImhDigitsOnly);
  numberSpinner->setGeometry(numberWidth, 0, kSpinnerWidth, kHeight);
  numberEditor->setFocusProxy(numberBox);
  numberEditor->resize(numberWidth + kSpinnerWidth, kHeight);

  for (QWidget* editor : {static_cast<QWidget*>(textEditor), dateTimeEditor, numberEditor}) {
    editor->setAutoFillBackground(true);
    editor->hide();
    MoveInto(editor, firstList);
  }
  // Keys close the editors; the wheel would turn the pickers' values, over an editor it scrolls
  // the list.
  for (QWidget* watched : {static_cast<QWidget*>(textEditor), textEditor->viewport(), static_cast<QWidget*>(editorDate),
                           static_cast<QWidget*>(editorTime), static_cast<QWidget*>(eraseBox),
                           static_cast<QWidget*>(numberBox)}) {
    watched->installEventFilter(this);
  }
  connect(textEditor, &QPlainTextEdit::blockCountChanged, this, [this] { FitTextEditor(); });
  connect(qApp, &QApplication::focusChanged, this, &InPlaceEditors::FocusChanged);
}

PropertyListView* InPlaceEditors::ListOf(const QWidget* editor) {
  const QWidget* viewport = editor->parentWidget();
  return viewport != nullptr ? qobject_cast<PropertyListView*>(viewport->parentWidget()) : nullptr;
}

void InPlaceEditors::MoveInto(QWidget* editor, PropertyListView& list) {
  if (editor->parentWidget() != list.viewport()) editor->setParent(list.viewport());
  // A panel's own controls take the focus in turn, right after the list.
  const QList<QWidget*> stops = editor->focusPolicy() != Qt::NoFocus
                                    ? QList<QWidget*>{editor}
                                    : editor->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  QWidget* previous = &list;
  for (QWidget* stop : stops) {
    if ((stop->focusPolicy() & Qt::TabFocus) == 0) continue;
    QWidget::setTabOrder(previous, stop);
    previous = stop;
  }
}

void InPlaceEditors::OpenAt(PropertyListView& list, QPoint pointer) {
  // A click reaches the list only after the focus left any open editor, so textEditor is closed
  // here.
  if (ListOf(textEditor) != &list && !textEditor->isHidden()) CommitTextEditor();
  MoveInto(textEditor, list);
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
  textCell_ = QRect(captionWidth + 3 - scroll, bounds.top(), valueWidth - 4, bounds.height());
  textEditor->setText(list.Value(row));
  FitTextEditor();
  // Typing replaces the value.
  textEditor->selectAll();
  textEditor->show();
  textEditor->raise();
  textEditor->setFocus(Qt::MouseFocusReason);
}

void InPlaceEditors::FitTextEditor() {
  // One line fills the row; more lines take the box's frame and margins around them.
  const int lines = std::min(textEditor->blockCount(), kTextLinesShown);
  const int height =
      lines <= 1 ? textCell_.height()
                 : lines * textEditor->fontMetrics().lineSpacing() + 2 * (textEditor->frameWidth() + kTextMargin) + 1;
  // Near the list's bottom the taller editor grows upwards, over the rows above.
  const int top = std::max(0, std::min(textCell_.top(), textEditor->parentWidget()->height() - height));
  textEditor->setGeometry(textCell_.left(), top, textCell_.width(), height);
}

bool InPlaceEditors::PlaceTypedEditor(PropertyListView& list, QPoint anchor, int scroll) {
  const int row = list.SelectedRow();
  const QPoint topLeft(anchor.x() + 2 - scroll, anchor.y());
  switch (row) {
    case catalogue::kCreated:
    case catalogue::kLastSaved:
    case catalogue::kLastPrinted: {
      MoveInto(dateTimeEditor, list);
      const QString value = list.Value(row);
      // An empty value or one that is no date and time shows the current date and time.
      const std::optional<time::LocalDateTime> parsed = time::ParseDateTimeText(value.toStdString());
      std::optional<PickerValue> shown = parsed ? ToPickerValue(*parsed) : std::nullopt;
      if (!shown) shown = ToPickerValue(CurrentLocalDateTime());
      editorDate->setDate(shown.value().date);
      editorTime->setTime(shown.value().time);
      const bool erasable = row == catalogue::kLastPrinted;
      eraseBox->setVisible(erasable);
      eraseBox->setChecked(erasable && value.isEmpty());
      const int width = editorTime->geometry().right() + 1 + (erasable ? kEraseWidth : 0);
      // The widest editor would reach under the batch list's scroll bar, hiding "消す": it moves
      // left just enough to stay inside the list, over the empty end of the caption cell.
      const int left = std::max(0, std::min(topLeft.x(), list.viewport()->width() - width));
      dateTimeEditor->setGeometry(QRect(QPoint(left, topLeft.y()), QSize(width, kHeight)));
      dateTimeEditor->show();
      dateTimeEditor->raise();
      dateTimeEditor->setFocus(Qt::MouseFocusReason);
      return true;
    }
    case catalogue::kRevisionNumber:
    case catalogue::kEditingTime: {
      MoveInto(numberEditor, list);
      numberEditor->move(topLeft);
      numberEditor->show();
      numberEditor->raise();
      // A stored number beyond the spinner's range opens at its nearest end.
      numberSpinner->SetNumber(WholeNumber(list.Value(row)));
      numberEditor->setFocus(Qt::MouseFocusReason);
      return true;
    }
    default:
      return false;
  }
}

void InPlaceEditors::CloseEditors() {
  for (QWidget* editor : {static_cast<QWidget*>(textEditor), dateTimeEditor, numberEditor}) {
    if (!editor->isHidden()) Exit(editor);
  }
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

void InPlaceEditors::Exit(QWidget* editor) {
  if (editor == textEditor) {
    CommitTextEditor();
  } else if (editor == dateTimeEditor) {
    CommitDateTimeEditor();
  } else {
    CommitNumberEditor();
  }
}

void InPlaceEditors::CommitTextEditor() {
  WriteRow(textEditor, textEditor->text());
  Hide(textEditor);
}

void InPlaceEditors::CommitDateTimeEditor() {
  QString value;
  if (!eraseBox->isHidden() && eraseBox->isChecked()) {
    value.clear();  // the erase state of the last-printed row
  } else {
    // The seconds are dropped: the time of day is the picker's hour and minute.
    const QDate date = editorDate->date();
    const QTime time = editorTime->time();
    const std::optional<time::LocalDateTime> stamp =
        time::EncodeLocalDateTime({date.year(), date.month(), date.day(), time.hour(), time.minute(), 0, 0});
    if (stamp) value = QString::fromStdString(time::FormatDateTimeText(*stamp));
  }
  WriteRow(dateTimeEditor, value);
  Hide(dateTimeEditor);
}

void InPlaceEditors::CommitNumberEditor() {
  // An emptied box counts as 1, as does anything that is not a whole number.
  numberSpinner->SetNumber(WholeNumber(numberBox->text()));
  WriteRow(numberEditor, numberBox->text());
  Hide(numberEditor);
}

QWidget* InPlaceEditors::EditorOf(const QWidget* widget) const {
  if (Inside(dateTimeEditor, widget)) return dateTimeEditor;
  if (Inside(numberEditor, widget)) return numberEditor;
  return textEditor;
}

bool InPlaceEditors::EditorKeyPress(const QWidget* watched, const QKeyEvent& key) {
  QWidget* editor = EditorOf(watched);
  switch (key.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (editor == textEditor && (key.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) != 0) {
        textEditor->insertPlainText(QStringLiteral("\n"));
      } else {
        Exit(editor);
      }
      return true;
    case Qt::Key_Escape:
      // The row is written only when an editor closes, so it still holds its value.
      Hide(editor);
      return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
      if (watched != numberBox) return false;
      numberSpinner->Step(key.key() == Qt::Key_Up ? 1 : -1);
      return true;
    default:
      return false;
  }
}

bool InPlaceEditors::eventFilter(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  switch (event->type()) {
    case QEvent::KeyPress:
      return EditorKeyPress(widget, *static_cast<QKeyEvent*>(event));
    case QEvent::Wheel: {
      if (PropertyListView* list = ListOf(EditorOf(widget))) QApplication::sendEvent(list->viewport(), event);
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
  for (QWidget* editor : {static_cast<QWidget*>(textEditor), dateTimeEditor, numberEditor}) {
    if (!editor->isHidden() && Inside(editor, old) && !Inside(editor, now)) Exit(editor);
  }
}

}  // namespace kestrel::app
