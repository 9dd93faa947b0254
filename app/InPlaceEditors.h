#pragma once
// The three in-place editors shared by both property lists: textEditor (text), dateTimeEditor
// (date and time, with the erase box "消す" for the last-printed row) and numberEditor (a whole
// number with a spinner).
// An editor floats inside the list that is its parent, over the value cell of that list's
// selected row, and writes into that row when it closes: on Enter, when the focus leaves it
// (Tab moves it on), when a command closes the editors, or when the list is about to scroll.
// Escape closes an editor leaving its row as it was.

#include <QObject>
#include <QPlainTextEdit>
#include <QPoint>
#include <QRect>

class QCheckBox;
class QDateEdit;
class QKeyEvent;
class QLineEdit;
class QTimeEdit;
class QWidget;

namespace kestrel::app {

class PropertyListView;
class UpDown;

// A text box for values of any length and with line breaks: one row high, taller while its value
// has several lines. text() gives setText()'s value back character for character until the user
// edits it; an edited value keeps the line breaks of the value it started from ("\r\n", "\r" or
// "\n").
class TextEditor : public QPlainTextEdit {
 public:
  explicit TextEditor(QWidget* parent);

  void setText(const QString& value);
  QString text() const;

 private:
  QString value_;
  QString shown_;  // the box's raw text right after setText
};

class InPlaceEditors : public QObject {
 public:
  // The editors start hidden inside `firstList`. Focus moves inside `window` close them.
  InPlaceEditors(QWidget& window, PropertyListView& firstList);

  // A click on a property list: textEditor moves into `list`, then an editor opens over the value
  // cell of the row under `pointer` (viewport coordinates) if the pointer is over that cell.
  void OpenAt(PropertyListView& list, QPoint pointer);

  // Opens the date-time editor (rows 10, 11, 13) or the number editor (rows 6, 12) for the
  // list's selected row, `anchor` being the left edge of the value column and the row's top
  // before horizontal scrolling by `scroll`. False for a row that has neither.
  bool PlaceTypedEditor(PropertyListView& list, QPoint anchor, int scroll);

  // Every open editor writes its value and hides, textEditor first, then dateTimeEditor, then
  // numberEditor; an editor that holds the focus hands it to its list. Also run before a list
  // scrolls.
  void CloseEditors();

  TextEditor* const textEditor;
  QWidget* const dateTimeEditor;
  QDateEdit* const editorDate;
  QTimeEdit* const editorTime;
  QCheckBox* const eraseBox;
  QWidget* const numberEditor;
  QLineEdit* const numberBox;
  UpDown* const numberSpinner;

 private:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void FocusChanged(QWidget* old, QWidget* now);

  // Writes the editor's value into its row and hides it.
  void Exit(QWidget* editor);
  void CommitTextEditor();
  void CommitDateTimeEditor();
  void CommitNumberEditor();
  // Enter closes the editor holding `watched`, Escape hides it unwritten; Shift+Enter and
  // Ctrl+Enter start a new line in textEditor, the arrow keys step numberBox.
  bool EditorKeyPress(const QWidget* watched, const QKeyEvent& key);
  // The editor `widget` belongs to.
  QWidget* EditorOf(const QWidget* widget) const;
  // textEditor over `textCell_`, as tall as its lines need within the list.
  void FitTextEditor();

  static PropertyListView* ListOf(const QWidget* editor);
  // The editor moves into `list`, next to it in the focus order, so Tab moves on from the list.
  static void MoveInto(QWidget* editor, PropertyListView& list);
  // Writes `value` into the selected row of the editor's list (nothing when none is selected).
  static void WriteRow(const QWidget* editor, const QString& value);
  // Hides the editor; if it holds the focus, the focus goes to its list first.
  void Hide(QWidget* editor);

  QWidget& window_;
  QRect textCell_;       // where textEditor stands for a value of one line
  bool hiding_ = false;  // focus moves made by Hide itself close nothing
};

}  // namespace kestrel::app
