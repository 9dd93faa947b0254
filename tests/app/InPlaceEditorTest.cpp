// The in-place editors of the single tab: when they open and where, what each key does, what they
// write when they close, and that commands, clicks elsewhere and scrolling close them first.
#include <functional>
#include <vector>

#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>
#include <QWheelEvent>

#include "app/FileListView.h"
#include "app/InPlaceEditors.h"
#include "app/PickerValues.h"
#include "app/PropertyListView.h"
#include "app/UpDown.h"
#include "reading/DocumentReading.h"
#include "ooxml/PackageProperties.h"
#include "platform/time/DateTimeText.h"
#include "tests/app/MainWindowFixture.h"

namespace kestrel::app::test {
namespace {

class InPlaceEditorTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    AddByDialog({CopyOf("lo-ascii-full.doc")});
    ASSERT_EQ(Value(0), QStringLiteral("Quarterly Report"));
  }

  InPlaceEditors& Editors() { return *View().editors; }
  PropertyListView& List() { return *View().singleProperties; }
  bool NoneOpen() {
    return Editors().textEditor->isHidden() && Editors().dateTimeEditor->isHidden() &&
           Editors().numberEditor->isHidden();
  }
  // The editor's value cell as the list shows it now.
  QRect Cell(int row) { return List().visualRect(List().model()->index(row, 1)); }
  // `piece` repeated to a value of 40,000 characters, more than a one-line box holds.
  static QString LongValue(const QString& piece) { return piece.repeated(40000 / piece.size() + 1).left(40000); }
  // Where the focus goes from the list with Tab.
  QWidget* AfterList() { return View().creationDate; }
  // A list short enough to scroll.
  void MakeListScroll() {
    List().setFixedHeight(150);
    QApplication::processEvents();
    ASSERT_GT(List().verticalScrollBar()->maximum(), 0);
  }
};

TEST_F(InPlaceEditorTest, AClickOnATextValueOpensTheTextEditorOverTheCell) {
  ClickValue(0);
  TextEditor& edit = *Editors().textEditor;
  ASSERT_FALSE(edit.isHidden());
  EXPECT_EQ(edit.parentWidget(), List().viewport());
  EXPECT_EQ(edit.text(), QStringLiteral("Quarterly Report"));
  // Selected whole, so typing replaces it.
  EXPECT_EQ(edit.textCursor().selectedText(), QStringLiteral("Quarterly Report"));
  EXPECT_TRUE(edit.hasFocus());
  const QRect cell = Cell(0);
  EXPECT_EQ(edit.geometry(), QRect(cell.left() + 3, cell.top(), List().columnWidth(1) - 4, 20));
  EXPECT_EQ(List().SelectedRow(), 0);
}

TEST_F(InPlaceEditorTest, EnterKeepsTheChangeAndEscapeLeavesTheRowAsItWasInEachEditor) {
  struct Case {
    int row;
    std::function<QWidget*(InPlaceEditors&)> keys;  // the control the keys go to
    std::function<void(InPlaceEditors&)> change;
    Qt::Key enter;
    QString written;
  };
  const std::vector<Case> cases = {
      {2, [](InPlaceEditors& e) { return e.textEditor; },
       [](InPlaceEditors& e) { Type(e.textEditor, QStringLiteral("山田花子")); }, Qt::Key_Return,
       QStringLiteral("山田花子")},
      {10, [](InPlaceEditors& e) { return e.editorDate; },
       [](InPlaceEditors& e) { e.editorDate->setDate(QDate(2024, 2, 29)); }, Qt::Key_Enter,
       QStringLiteral("2024/02/29 8:30:00")},
      {11, [](InPlaceEditors& e) { return e.editorTime; },
       [](InPlaceEditors& e) { e.editorTime->setTime(QTime(6, 7)); }, Qt::Key_Return,
       QStringLiteral("2020/02/29 6:07:00")},
      {13, [](InPlaceEditors& e) { return e.eraseBox; }, [](InPlaceEditors& e) { e.eraseBox->setChecked(true); },
       Qt::Key_Return, QString()},
      {6, [](InPlaceEditors& e) { return e.numberBox; },
       [](InPlaceEditors& e) { Type(e.numberBox, QStringLiteral("7")); }, Qt::Key_Enter, QStringLiteral("37")},
  };
  for (const Case& c : cases) {
    const QString before = Value(c.row);
    ClickValue(c.row);
    c.change(Editors());
    QTest::keyClick(c.keys(Editors()), Qt::Key_Escape);
    EXPECT_TRUE(NoneOpen()) << c.row;
    EXPECT_EQ(Value(c.row), before) << c.row;
    EXPECT_TRUE(List().hasFocus()) << c.row;

    ClickValue(c.row);
    c.change(Editors());
    QTest::keyClick(c.keys(Editors()), c.enter, c.enter == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    EXPECT_TRUE(NoneOpen()) << c.row;
    EXPECT_EQ(Value(c.row), c.written) << c.row;
    EXPECT_TRUE(List().hasFocus()) << c.row;
  }
}

TEST_F(InPlaceEditorTest, TabLeavesTheEditorKeepingItsValueAndMovesTheFocusOn) {
  struct Case {
    int row;
    std::function<void(InPlaceEditors&)> change;
    QString written;
  };
  const std::vector<Case> cases = {
      {1, [](InPlaceEditors& e) { Type(e.textEditor, QStringLiteral("tabbed")); }, QStringLiteral("tabbed")},
      {6, [](InPlaceEditors& e) { Type(e.numberBox, QStringLiteral("9")); }, QStringLiteral("39")},
      {13, [](InPlaceEditors& e) { e.editorTime->setTime(QTime(1, 2)); }, QStringLiteral("2020/02/28 1:02:00")},
  };
  for (const Case& c : cases) {
    ClickValue(c.row);
    c.change(Editors());
    // The date editor's fields take the focus in turn before it leaves.
    for (int presses = 0; presses < 10 && !NoneOpen(); ++presses) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_TRUE(NoneOpen()) << c.row;
    EXPECT_EQ(Value(c.row), c.written) << c.row;
    EXPECT_EQ(QApplication::focusWidget(), AfterList()) << c.row;
  }
  // Shift+Tab goes back to the list.
  ClickValue(0);
  QTest::keyClick(Editors().textEditor, Qt::Key_Backtab);
  EXPECT_TRUE(NoneOpen());
  EXPECT_TRUE(List().hasFocus());
}

TEST_F(InPlaceEditorTest, TheTextEditorKeepsAnyValueCharacterForCharacter) {
  const QString longValue = LongValue(QStringLiteral("長い値 long value "));
  const struct {
    QString value;
    int lines;
    QString edited;  // after "!" is typed at its end
  } cases[] = {
      {longValue, 1, longValue + u'!'},
      {QStringLiteral("Line one\nLine two\nLine three"), 3, QStringLiteral("Line one\nLine two\nLine three!")},
      {QStringLiteral("Windows\r\nline\r\nbreaks"), 3, QStringLiteral("Windows\r\nline\r\nbreaks!")},
      {QStringLiteral("Old\rbreaks"), 2, QStringLiteral("Old\rbreaks!")},
      // Untouched, mixed line breaks stay mixed; an edit writes them all alike.
      {QStringLiteral("Mixed\r\nline\nbreaks"), 3, QStringLiteral("Mixed\r\nline\r\nbreaks!")},
      {QStringLiteral("ends with a break\n"), 2, QStringLiteral("ends with a break\n!")},
      {QStringLiteral("tab\tno\u00a0break\u2028separator  "), 1,
       QStringLiteral("tab\tno\u00a0break\u2028separator  !")},
  };
  for (const auto& c : cases) {
    const std::string name = c.value.left(30).toStdString();
    List().SetValue(4, c.value);
    ClickValue(4);
    TextEditor& edit = *Editors().textEditor;
    EXPECT_EQ(edit.text(), c.value) << name;
    EXPECT_EQ(edit.blockCount(), c.lines) << name;
    if (c.lines > 1) {
      EXPECT_GE(edit.height(), c.lines * edit.fontMetrics().lineSpacing()) << name;
    } else {
      EXPECT_EQ(edit.height(), 20) << name;
    }
    List().setFocus();
    EXPECT_EQ(Value(4), c.value) << name << ": untouched";

    ClickValue(4);
    QTest::keyClick(&edit, Qt::Key_End, Qt::ControlModifier);
    Type(&edit, QStringLiteral("!"));
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(Value(4), c.edited) << name << ": edited";
  }
}

TEST_F(InPlaceEditorTest, ShiftOrCtrlEnterStartsANewLineAndTheEditorGrowsWithIt) {
  ClickValue(4);  // He said "hello" and left.
  TextEditor& edit = *Editors().textEditor;
  const int oneLine = edit.height();
  QTest::keyClick(&edit, Qt::Key_End, Qt::ControlModifier);
  QTest::keyClick(&edit, Qt::Key_Return, Qt::ShiftModifier);
  Type(&edit, QStringLiteral("二行目"));
  const int twoLines = edit.height();
  QTest::keyClick(&edit, Qt::Key_Return, Qt::ControlModifier);
  Type(&edit, QStringLiteral("third"));
  EXPECT_GT(twoLines, oneLine);
  EXPECT_GT(edit.height(), twoLines);
  QApplication::processEvents();
  EXPECT_EQ(edit.verticalScrollBar()->maximum(), 0) << "three lines fit";
  EXPECT_FALSE(edit.verticalScrollBar()->isVisible());
  QTest::keyClick(&edit, Qt::Key_Return);
  EXPECT_TRUE(NoneOpen());
  EXPECT_EQ(Value(4), QStringLiteral("He said \"hello\" and left.\n二行目\nthird"));

  // In a short list many lines stay inside it, and beyond eight the editor scrolls instead.
  MakeListScroll();
  ClickValue(4);
  QTest::keyClick(&edit, Qt::Key_End, Qt::ControlModifier);
  int eightLines = 0;
  for (int line = 4; line <= 12; ++line) {
    QTest::keyClick(&edit, Qt::Key_Return, Qt::ShiftModifier);
    if (line == 8) eightLines = edit.height();
  }
  QApplication::processEvents();
  EXPECT_EQ(edit.height(), eightLines);
  EXPECT_GE(edit.y(), 0);
  EXPECT_LE(edit.geometry().bottom(), List().viewport()->height());
  EXPECT_TRUE(edit.verticalScrollBar()->isVisible());
}

TEST_F(InPlaceEditorTest, ALongValueAndACommentOfSeveralLinesReachTheDocument) {
  const QString longValue = LongValue(QStringLiteral("Long title "));
  for (const char* name : {"lo-ascii-full.doc", "lo-ascii-full.docx"}) {
    const QString path = CopyOf(name);
    AddByDialog({path});
    ClickValue(0);
    Editors().textEditor->insertPlainText(longValue);  // as a paste over the selected value
    QTest::keyClick(Editors().textEditor, Qt::Key_Return);
    ClickValue(4);
    Type(Editors().textEditor, QStringLiteral("一行目"));
    QTest::keyClick(Editors().textEditor, Qt::Key_Return, Qt::ShiftModifier);
    Type(Editors().textEditor, QStringLiteral("二行目"));
    QTest::keyClick(Editors().textEditor, Qt::Key_Return, Qt::ShiftModifier);
    Type(Editors().textEditor, QStringLiteral("三行目"));
    QTest::keyClick(Editors().textEditor, Qt::Key_Return);
    QTest::mouseClick(View().changeSelectedButton, Qt::LeftButton);

    ooxml::PackageProperties packages;
    const reading::PropertyTexts rows = reading::ReadDocumentRows(packages, path.toStdString()).value();
    EXPECT_EQ(QString::fromStdString(rows[0]), longValue) << name;
    EXPECT_EQ(rows[4], "一行目\n二行目\n三行目") << name;
  }
}

TEST_F(InPlaceEditorTest, LeavingTheEditorForAnotherControlKeepsTheTypedText) {
  ClickValue(1);
  Editors().textEditor->setText(QStringLiteral("typed"));
  View().singleBackupBox->setFocus();
  EXPECT_TRUE(NoneOpen());
  EXPECT_EQ(Value(1), QStringLiteral("typed"));
}

TEST_F(InPlaceEditorTest, ClicksBesideTheValueCellsOpenNothing) {
  ClickCaption(0);
  EXPECT_TRUE(NoneOpen());
  const QPoint below(Cell(0).center().x(), List().viewport()->height() - 2);
  ASSERT_LT(List().rowAt(below.y()), 0) << "the list is too short to leave room below its rows";
  QTest::mouseClick(List().viewport(), Qt::LeftButton, Qt::NoModifier, below);
  EXPECT_TRUE(NoneOpen());
}

TEST_F(InPlaceEditorTest, F2OrEnterOnASelectedRowOpensItsEditorAsAClickDoes) {
  struct Case {
    int row;
    QWidget* editor;
  };
  const std::vector<Case> cases = {
      {0, Editors().textEditor}, {10, Editors().dateTimeEditor}, {6, Editors().numberEditor}};
  for (const Case& c : cases) {
    ClickValue(c.row);
    const QRect clicked = c.editor->geometry();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    for (const Qt::Key key : {Qt::Key_F2, Qt::Key_Return, Qt::Key_Enter}) {
      ClickCaption(c.row);
      ASSERT_TRUE(NoneOpen());
      QTest::keyClick(&List(), key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
      EXPECT_FALSE(c.editor->isHidden()) << c.row << " " << key;
      EXPECT_EQ(c.editor->geometry(), clicked) << c.row << " " << key;
      EXPECT_TRUE(c.editor->isAncestorOf(QApplication::focusWidget())) << c.row << " " << key;
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    }
  }
  // The opened editor's own F2 and the list's other keys open nothing.
  ClickValue(0);
  Type(Editors().textEditor, QStringLiteral("typed"));
  QTest::keyClick(Editors().textEditor, Qt::Key_F2);
  EXPECT_EQ(Editors().textEditor->text(), QStringLiteral("typed"));
  QTest::keyClick(Editors().textEditor, Qt::Key_Escape);
  for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Down, Qt::Key_A}) {
    QTest::keyClick(&List(), key);
    EXPECT_TRUE(NoneOpen()) << key;
  }
  // The batch list too.
  View().tabs->setCurrentIndex(1);
  PropertyListView& batch = *View().batchProperties;
  batch.setFocus();
  batch.selectRow(12);
  QTest::keyClick(&batch, Qt::Key_F2);
  EXPECT_FALSE(Editors().numberEditor->isHidden());
  EXPECT_EQ(Editors().numberEditor->parentWidget(), batch.viewport());
}

TEST_F(InPlaceEditorTest, WithNoFileSelectedClicksAndKeysOpenNothing) {
  View().fileList->clearSelection();
  ClickCaption(0);
  ClickValue(0);
  ClickValue(10);
  QTest::keyClick(&List(), Qt::Key_F2);
  EXPECT_TRUE(NoneOpen());
}

TEST_F(InPlaceEditorTest, TheDateEditorShowsTheRowsValueAndDropsTheSeconds) {
  ClickValue(10);  // 2019/11/05 8:30:00
  ASSERT_FALSE(Editors().dateTimeEditor->isHidden());
  EXPECT_EQ(Editors().editorDate->date(), QDate(2019, 11, 5));
  EXPECT_EQ(Editors().editorTime->time(), QTime(8, 30));
  EXPECT_TRUE(Editors().eraseBox->isHidden());
  const QRect cell = Cell(10);
  const int pickers = Editors().editorDate->width() + Editors().editorTime->width();
  EXPECT_EQ(Editors().dateTimeEditor->geometry(), QRect(cell.left() + 2, cell.top(), pickers, 20));
  EXPECT_GE(Editors().editorDate->width(), 89);
  EXPECT_GE(Editors().editorTime->width(), 73);
  Editors().editorDate->setDate(QDate(2024, 2, 29));
  Editors().editorTime->setTime(QTime(10, 15, 42));
  List().setFocus();
  EXPECT_TRUE(NoneOpen());
  EXPECT_EQ(Value(10), QStringLiteral("2024/02/29 10:15:00"));
}

// Real keys, as a user types them: a whole value over the whole selection, in each form, and digits
// over one selected section; Enter keeps what was typed.
TEST_F(InPlaceEditorTest, TypedDatesAndTimesReplaceTheValueOrTheSelectedSection) {
  const struct {
    const char* keys;
    bool year;  // typed over the year alone
    const char* shown;
  } kCases[] = {
      {"2015/04/02", false, "2015/04/02 8:30:00"},
      {"9:45", false, "2019/11/05 9:45:00"},
      {"2015/04/02 9:30:00", false, "2015/04/02 9:30:00"},
      {"2003", true, "2003/11/05 8:30:00"},
  };
  for (const auto& c : kCases) {
    ClickValue(10);  // 2019/11/05 8:30:00
    ASSERT_FALSE(Editors().dateTimeEditor->isHidden());
    QApplication::processEvents();  // the picker selects its whole value once it has the focus
    QDateEdit* date = Editors().editorDate;
    if (c.year) {
      QTest::keyClick(date, Qt::Key_Home);
      date->setSelectedSection(QDateTimeEdit::YearSection);
    }
    QTest::keyClicks(date, QString::fromUtf8(c.keys));
    QTest::keyClick(date, Qt::Key_Enter);
    EXPECT_TRUE(NoneOpen()) << c.keys;
    EXPECT_EQ(Value(10), QString::fromUtf8(c.shown)) << c.keys;
    // Back to the row's first value for the next case.
    ClickValue(10);
    Editors().editorDate->setDate(QDate(2019, 11, 5));
    Editors().editorTime->setTime(QTime(8, 30));
    QTest::keyClick(Editors().editorDate, Qt::Key_Enter);
  }
}

TEST_F(InPlaceEditorTest, AnEmptyDateOpensOnNowAndClosesAsNowToTheMinute) {
  AddByDialog({CopyOf("x.doc")});
  ASSERT_EQ(Value(10), QString());
  const QDate today = QDate::currentDate();
  ClickValue(10);
  EXPECT_EQ(Editors().editorDate->date(), today);
  ClickCaption(0);
  EXPECT_TRUE(NoneOpen());
  const std::optional<time::LocalDateTime> written = time::ParseDateTimeText(Value(10).toStdString());
  ASSERT_TRUE(written.has_value()) << Value(10).toStdString();
  EXPECT_EQ(ToPickerValue(*written)->time.second(), 0);
  EXPECT_NEAR(*written, CurrentLocalDateTime(), 2.0 / (24 * 60));
}

TEST_F(InPlaceEditorTest, TheEraseBoxKeepsTheLastPrintedRowEmptyUntilUnchecked) {
  AddByDialog({CopyOf("x.doc")});
  ClickValue(13);
  ASSERT_FALSE(Editors().dateTimeEditor->isHidden());
  EXPECT_FALSE(Editors().eraseBox->isHidden());
  EXPECT_TRUE(Editors().eraseBox->isChecked());
  EXPECT_EQ(Editors().dateTimeEditor->width(), Editors().editorDate->width() + Editors().editorTime->width() + 46);
  // The widest editor still lies inside the list.
  EXPECT_LE(Editors().dateTimeEditor->geometry().right(), List().viewport()->width());
  List().setFocus();
  EXPECT_EQ(Value(13), QString());

  ClickValue(13);
  QTest::mouseClick(Editors().eraseBox, Qt::LeftButton);
  EXPECT_FALSE(Editors().eraseBox->isChecked());
  EXPECT_FALSE(Editors().dateTimeEditor->isHidden()) << "a click inside the editor keeps it open";
  Editors().editorDate->setDate(QDate(2023, 7, 1));
  Editors().editorTime->setTime(QTime(0, 0, 30));
  List().setFocus();
  EXPECT_EQ(Value(13), QStringLiteral("2023/07/01"));

  // A dated last-printed row opens with the box unchecked; checking it erases the value.
  ClickValue(13);
  EXPECT_FALSE(Editors().eraseBox->isChecked());
  Editors().eraseBox->setChecked(true);
  List().setFocus();
  EXPECT_EQ(Value(13), QString());
}

TEST_F(InPlaceEditorTest, TheNumberEditorTakesDigitsOnlyAndTurnsNothingIntoOne) {
  ClickValue(6);  // "3"
  ASSERT_FALSE(Editors().numberEditor->isHidden());
  QLineEdit& edit = *Editors().numberBox;
  EXPECT_EQ(edit.text(), QStringLiteral("3"));
  EXPECT_TRUE(edit.hasFocus());
  EXPECT_EQ(Editors().numberEditor->pos(), QPoint(Cell(6).left() + 2, Cell(6).top()));
  QTest::keyClicks(&edit, QStringLiteral("a1-b2.x"));
  EXPECT_EQ(edit.text(), QStringLiteral("312"));
  QTest::keyClick(&edit, Qt::Key_Backspace);
  EXPECT_EQ(edit.text(), QStringLiteral("31"));
  QTest::keyClick(&edit, Qt::Key_Up);
  EXPECT_EQ(edit.text(), QStringLiteral("32"));
  edit.clear();
  List().setFocus();
  EXPECT_TRUE(NoneOpen());
  EXPECT_EQ(Value(6), QStringLiteral("1"));
}

TEST_F(InPlaceEditorTest, TheNumberEditorKeepsItsValueWithinTheSpinnersRange) {
  const struct {
    const char* typed;
    const char* kept;
  } typing[] = {
      {"99999", "9999"}, {"32767", "32767"}, {"32768", "3276"}, {"0000040000", "000004000"}, {"１２", "12"},
  };
  for (const auto& t : typing) {
    ClickValue(12);
    Editors().numberBox->clear();
    Type(Editors().numberBox, QString::fromUtf8(t.typed));
    EXPECT_EQ(Editors().numberBox->text(), QString::fromUtf8(t.kept)) << t.typed;
    QTest::keyClick(Editors().numberBox, Qt::Key_Return);
    EXPECT_EQ(Value(12), QString::number(QString::fromUtf8(t.kept).toInt())) << t.typed;
  }
  // A stored number beyond the range opens, and closes, at the range's nearest end.
  const struct {
    const char* stored;
    const char* shown;
  } opening[] = {{"99999", "32767"}, {"-4", "0"}};
  for (const auto& o : opening) {
    List().SetValue(6, QString::fromUtf8(o.stored));
    ClickValue(6);
    EXPECT_EQ(Editors().numberBox->text(), QString::fromUtf8(o.shown)) << o.stored;
    EXPECT_EQ(Editors().numberSpinner->Position(), QString::fromUtf8(o.shown).toInt()) << o.stored;
    List().setFocus();
    EXPECT_EQ(Value(6), QString::fromUtf8(o.shown)) << o.stored;
  }
}

TEST_F(InPlaceEditorTest, DeleteEditsAndTabLeavesTheNumberEditor) {
  ClickValue(6);
  QLineEdit& edit = *Editors().numberBox;
  edit.setText(QStringLiteral("345"));
  edit.setCursorPosition(0);
  // The desktop delivers Delete with the DEL character as its text, and Tab with a tab.
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QStringLiteral("\x7f"));
  QApplication::sendEvent(&edit, &press);
  EXPECT_EQ(edit.text(), QStringLiteral("45"));
  QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
  QApplication::sendEvent(&edit, &tab);
  EXPECT_FALSE(edit.hasFocus()) << "Tab did not move the focus on";
  EXPECT_TRUE(NoneOpen());
  EXPECT_EQ(Value(6), QStringLiteral("45"));
}

TEST_F(InPlaceEditorTest, TheNumberEditorOpensOnOneForAValueThatIsNoNumber) {
  AddByDialog({CopyOf("x.doc")});
  ASSERT_EQ(Value(6), QString());
  ClickValue(6);
  EXPECT_EQ(Editors().numberBox->text(), QStringLiteral("1"));
  EXPECT_EQ(Editors().numberSpinner->Position(), 1);
  Editors().numberSpinner->Step(-1);
  Editors().numberSpinner->Step(-1);
  EXPECT_EQ(Editors().numberBox->text(), QStringLiteral("0"));
  List().setFocus();
  EXPECT_EQ(Value(6), QStringLiteral("0"));

  ClickValue(12);  // the editing minutes, "0"
  Editors().numberBox->setText(QStringLiteral("32767"));
  Editors().numberSpinner->Step(1);
  EXPECT_EQ(Editors().numberBox->text(), QStringLiteral("32767"));
  List().setFocus();
  EXPECT_EQ(Value(12), QStringLiteral("32767"));
}

TEST_F(InPlaceEditorTest, OpeningAnotherEditorClosesTheOpenOne) {
  ClickValue(0);
  Editors().textEditor->setText(QStringLiteral("first"));
  ClickValue(11);
  EXPECT_TRUE(Editors().textEditor->isHidden());
  EXPECT_FALSE(Editors().dateTimeEditor->isHidden());
  EXPECT_EQ(Value(0), QStringLiteral("first"));
  ClickValue(12);
  EXPECT_TRUE(Editors().dateTimeEditor->isHidden());
  EXPECT_FALSE(Editors().numberEditor->isHidden());
  EXPECT_EQ(Value(11), QStringLiteral("2020/02/29 23:59:00"));
}

TEST_F(InPlaceEditorTest, ScrollingTheListClosesTheEditorKeepingItsValue) {
  MakeListScroll();
  ClickValue(1);
  Editors().textEditor->setText(QStringLiteral("scrolled"));
  List().verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_TRUE(NoneOpen());
  EXPECT_EQ(Value(1), QStringLiteral("scrolled"));
  EXPECT_TRUE(List().hasFocus());
  EXPECT_GT(List().verticalScrollBar()->value(), 0);
}

TEST_F(InPlaceEditorTest, TheWheelOverTheListOrTheEditorClosesTheEditorKeepingItsValue) {
  MakeListScroll();
  for (const bool overEditor : {false, true}) {
    List().verticalScrollBar()->setValue(0);
    ClickValue(10);
    ASSERT_FALSE(Editors().dateTimeEditor->isHidden());
    Editors().editorTime->setTime(QTime(6, 7, 8));
    QWidget* target = overEditor ? static_cast<QWidget*>(Editors().editorTime) : List().viewport();
    QWheelEvent wheel(QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &wheel);
    EXPECT_TRUE(NoneOpen()) << overEditor;
    EXPECT_EQ(Value(10), QStringLiteral("2019/11/05 6:07:00")) << overEditor;
    EXPECT_EQ(Editors().editorTime->time(), QTime(6, 7, 8)) << "the wheel turned the picker";
    EXPECT_GT(List().verticalScrollBar()->value(), 0) << overEditor;
  }
}

TEST_F(InPlaceEditorTest, ToolAndMenuCommandsCloseTheEditorBeforeTheyRun) {
  ClickValue(0);
  Editors().textEditor->setText(QStringLiteral("before the command"));
  dialogs_.fileAnswers.push_back(std::nullopt);
  QTest::mouseClick(View().addFilesButton, Qt::LeftButton);
  EXPECT_TRUE(NoneOpen());
  EXPECT_EQ(Value(0), QStringLiteral("before the command"));

  ClickValue(12);
  Editors().numberBox->setText(QStringLiteral("45"));
  View().aboutAction->trigger();
  EXPECT_TRUE(NoneOpen());
  EXPECT_EQ(Value(12), QStringLiteral("45"));
  EXPECT_EQ(dialogs_.modalTitles, std::vector<QString>{QStringLiteral("バージョン情報")});
}

TEST_F(InPlaceEditorTest, ATypedValueStaysWithItsFileWhenAnotherFileIsSelectedOrDropped) {
  const QString other = CopyOf("lo-ja-full.doc");
  AddByDialog({other});
  ClickValue(0);
  Editors().textEditor->setText(QStringLiteral("typed for the first"));
  Drop(*View().fileList->viewport(), {QUrl::fromLocalFile(CopyOf("lo-ascii-noprint-multiline.doc"))});
  EXPECT_TRUE(NoneOpen());
  EXPECT_EQ(Value(0), QStringLiteral("Meeting notes"));

  ClickValue(0);
  Editors().textEditor->setText(QStringLiteral("typed again"));
  SelectFile(0);
  EXPECT_TRUE(NoneOpen());
  EXPECT_EQ(Value(0), QStringLiteral("Quarterly Report"));
}

}  // namespace
}  // namespace kestrel::app::test
