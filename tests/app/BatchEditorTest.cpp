// The batch tab's values: the row boxes, the in-place editors over its list (no file needed), the
// file-time boxes and their pickers, the three-state attribute boxes, and the import of the
// single tab's values from the selected file.
#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTabWidget>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>

#include "app/FileListModel.h"
#include "app/FileListView.h"
#include "app/InPlaceEditors.h"
#include "app/PropertyListView.h"
#include "app/UpDown.h"
#include "platform/time/DateTimeText.h"
#include "tests/app/MainWindowFixture.h"

namespace kestrel::app::test {
namespace {

class BatchEditorTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    Form().PageControl1->setCurrentIndex(1);
    QApplication::processEvents();
  }

  PropertyListView& Batch() { return *Form().ListView2; }
  InPlaceEditors& Editors() { return *Form().editors; }
  QRect Cell(int row, int column) { return Batch().visualRect(Batch().model()->index(row, column)); }

  void ClickBatchValue(int row) {
    QTest::mouseClick(Batch().viewport(), Qt::LeftButton, Qt::NoModifier, Cell(row, 1).center());
  }
  // On the caption's text, right of its check box.
  QPoint CaptionText(int row) { return {Cell(row, 0).right() - 20, Cell(row, 0).center().y()}; }
  // The middle of the row's check box, where the style draws it.
  QPoint CheckBoxOf(int row) {
    QStyleOptionViewItem option;
    option.initFrom(Batch().viewport());
    option.rect = Cell(row, 0);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = Batch().item(row, 0)->text();
    return Batch().style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, &Batch()).center();
  }
  bool NoneOpen() {
    return Editors().Edit1->isHidden() && Editors().Panel3->isHidden() && Editors().Panel5->isHidden();
  }
  std::array<bool, 14> Included() {
    std::array<bool, 14> included{};
    for (int row = 0; row < 14; ++row) included.at(static_cast<std::size_t>(row)) = Batch().Included(row);
    return included;
  }
};

TEST_F(BatchEditorTest, ARowBoxTogglesByItsBoxAndByADoubleClickNeverByASingleClickOnTheRow) {
  ClickBatchValue(0);
  EXPECT_FALSE(Editors().Edit1->isHidden());
  QTest::keyClick(Editors().Edit1, Qt::Key_Escape);
  QTest::mouseClick(Batch().viewport(), Qt::LeftButton, Qt::NoModifier, CaptionText(1));
  EXPECT_EQ(Included(), (std::array<bool, 14>{})) << "a single click on a row toggled its box";

  QTest::mouseClick(Batch().viewport(), Qt::LeftButton, Qt::NoModifier, CheckBoxOf(1));
  EXPECT_TRUE(Batch().Included(1));
  QTest::mouseClick(Batch().viewport(), Qt::LeftButton, Qt::NoModifier, CheckBoxOf(1));
  EXPECT_FALSE(Batch().Included(1));

  QTest::mouseDClick(Batch().viewport(), Qt::LeftButton, Qt::NoModifier, CaptionText(2));
  EXPECT_TRUE(Batch().Included(2));
  EXPECT_TRUE(NoneOpen());
  QTest::mouseDClick(Batch().viewport(), Qt::LeftButton, Qt::NoModifier, CaptionText(2));
  EXPECT_FALSE(Batch().Included(2));
  // A double click on the box itself is a double click on the row too: one toggle in all.
  QTest::mouseDClick(Batch().viewport(), Qt::LeftButton, Qt::NoModifier, CheckBoxOf(4));
  EXPECT_TRUE(Batch().Included(4));
  Batch().SetIncluded(4, false);
  // Below the last row there is no row to toggle.
  QTest::mouseDClick(Batch().viewport(), Qt::LeftButton, Qt::NoModifier,
                     QPoint(20, Cell(13, 0).bottom() + 10));
  EXPECT_EQ(Included(), (std::array<bool, 14>{}));
}

TEST_F(BatchEditorTest, AClickOnAValueOpensItsEditorWithNoFileListed) {
  ASSERT_EQ(Form().Files().rowCount(), 0);
  ClickBatchValue(0);
  auto& edit = *Editors().Edit1;
  ASSERT_FALSE(edit.isHidden());
  EXPECT_EQ(edit.parentWidget(), Batch().viewport());
  EXPECT_EQ(edit.geometry(), QRect(Cell(0, 1).left() + 3, Cell(0, 1).top(), Batch().columnWidth(1) - 4, 20));
  Type(&edit, QStringLiteral("共通の題名"));
  QTest::keyClick(&edit, Qt::Key_Return);
  EXPECT_EQ(Batch().Value(0), QStringLiteral("共通の題名"));
  EXPECT_EQ(Form().ListView3->Value(0), QString());
  // Editing a value does not check its row.
  EXPECT_FALSE(Batch().Included(0));

  ClickBatchValue(6);
  ASSERT_FALSE(Editors().Panel5->isHidden());
  EXPECT_EQ(Editors().Panel5->parentWidget(), Batch().viewport());
  EXPECT_EQ(Editors().Edit3->text(), QStringLiteral("1"));
  Editors().UpDown1->Step(1);
  ClickBatchValue(10);  // the click moves the focus, which closes the number editor first
  EXPECT_EQ(Batch().Value(6), QStringLiteral("2"));
  ASSERT_FALSE(Editors().Panel3->isHidden());
  EXPECT_TRUE(Editors().CheckBox15->isHidden());
  Editors().DateTimePicker7->setDate(QDate(2019, 7, 8));
  Editors().DateTimePicker8->setTime(QTime(9, 10, 11));
  Form().CloseEditors();
  EXPECT_EQ(Batch().Value(10), QStringLiteral("2019/07/08 9:10:00"));

  // The last-printed row starts erased, and its editor shows "消す" checked.
  ASSERT_EQ(Batch().Value(13), QString());
  ClickBatchValue(13);
  EXPECT_FALSE(Editors().CheckBox15->isHidden());
  EXPECT_TRUE(Editors().CheckBox15->isChecked());
  // Beside the list's scroll bar the widest editor still shows whole, over the value cell.
  EXPECT_LE(Editors().Panel3->geometry().right(), Batch().viewport()->width() - 1);
  EXPECT_LT(Editors().Panel3->geometry().left(), Cell(13, 1).left() + 3);
  EXPECT_GT(Editors().Panel3->geometry().left(), Cell(13, 0).center().x());
  Form().CloseEditors();
  EXPECT_EQ(Batch().Value(13), QString());
  EXPECT_EQ(Included(), (std::array<bool, 14>{}));

  // The caption column opens nothing.
  QTest::mouseClick(Batch().viewport(), Qt::LeftButton, Qt::NoModifier, CaptionText(3));
  EXPECT_TRUE(NoneOpen());
}

TEST_F(BatchEditorTest, EachTimeBoxEnablesOnlyItsOwnPicker) {
  const std::array<std::pair<QCheckBox*, QWidget*>, 6> boxes = {{{Form().CheckBox9, Form().DateTimePicker1},
                                                                 {Form().CheckBox10, Form().DateTimePicker2},
                                                                 {Form().CheckBox11, Form().DateTimePicker3},
                                                                 {Form().CheckBox12, Form().DateTimePicker4},
                                                                 {Form().CheckBox13, Form().DateTimePicker5},
                                                                 {Form().CheckBox14, Form().DateTimePicker6}}};
  for (const auto& [box, picker] : boxes) {
    ASSERT_TRUE(box->isChecked());
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(6, box->height() / 2));
    ASSERT_FALSE(box->isChecked()) << box->objectName().toStdString();
    for (const auto& [other, otherPicker] : boxes) {
      EXPECT_EQ(otherPicker->isEnabled(), other->isChecked()) << otherPicker->objectName().toStdString();
    }
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(6, box->height() / 2));
    EXPECT_TRUE(picker->isEnabled());
  }
  // A change made by the program (here the preset import) counts as well.
  Form().CheckBox11->setChecked(false);
  Form().ToolButton9Click();
  Form().CheckBox11->setChecked(true);
  ASSERT_TRUE(Form().DateTimePicker3->isEnabled());
  QTest::mouseClick(Form().ToolButton10, Qt::LeftButton);
  EXPECT_FALSE(Form().CheckBox11->isChecked());
  EXPECT_FALSE(Form().DateTimePicker3->isEnabled());
  EXPECT_TRUE(Form().DateTimePicker4->isEnabled());
}

TEST_F(BatchEditorTest, TheAttributeBoxesCycleUncheckedGrayedChecked) {
  for (QCheckBox* box : {Form().CheckBox1, Form().CheckBox2, Form().CheckBox3, Form().CheckBox8}) {
    ASSERT_EQ(box->checkState(), Qt::PartiallyChecked);
    for (const Qt::CheckState next : {Qt::Checked, Qt::Unchecked, Qt::PartiallyChecked, Qt::Checked}) {
      QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(6, box->height() / 2));
      EXPECT_EQ(box->checkState(), next) << box->objectName().toStdString();
    }
  }
}

class ImportFromSelectedFileTest : public BatchEditorTest {
 protected:
  // What the batch tab holds, for comparing before and after.
  QStringList BatchTab() {
    QStringList shown;
    for (int row = 0; row < 14; ++row) shown << Batch().Value(row) << QString::number(Batch().Included(row));
    for (const QDateEdit* date : {Form().DateTimePicker1, Form().DateTimePicker3, Form().DateTimePicker5}) {
      shown << date->date().toString(Qt::ISODate);
    }
    for (const QTimeEdit* time : {Form().DateTimePicker2, Form().DateTimePicker4, Form().DateTimePicker6}) {
      shown << time->time().toString(Qt::ISODateWithMs);
    }
    for (const QCheckBox* box : {Form().CheckBox9, Form().CheckBox10, Form().CheckBox11, Form().CheckBox12,
                                 Form().CheckBox13, Form().CheckBox14, Form().CheckBox1, Form().CheckBox2,
                                 Form().CheckBox3, Form().CheckBox8, Form().CheckBox4}) {
      shown << QString::number(box->checkState());
    }
    return shown;
  }
};

TEST_F(ImportFromSelectedFileTest, CopiesValuesTimesAndAttributesButNoBoxes) {
  AddByDialog({CopyOf("lo-ja-full.doc")});
  Form().PageControl1->setCurrentIndex(1);
  Batch().SetIncluded(0, true);
  Batch().SetIncluded(13, true);
  Form().CheckBox9->setChecked(false);
  Form().CheckBox4->setChecked(true);
  Form().CheckBox1->setCheckState(Qt::Checked);
  // Grayed on the single tab gives unchecked here; checked stays checked, unchecked unchecked.
  Form().CheckBox16->setCheckState(Qt::PartiallyChecked);
  Form().CheckBox17->setCheckState(Qt::Checked);
  Form().CheckBox18->setCheckState(Qt::Unchecked);
  Form().CheckBox23->setCheckState(Qt::PartiallyChecked);
  Form().DateTimePicker9->setDate(QDate(2001, 2, 3));
  Form().DateTimePicker10->setTime(QTime(4, 5, 6));
  Form().DateTimePicker13->setDate(QDate(2011, 12, 13));
  Form().DateTimePicker14->setTime(QTime(14, 15, 16));
  QTest::mouseClick(Form().ToolButton12, Qt::LeftButton);

  EXPECT_EQ(Batch().Values(), Form().ListView3->Values());
  EXPECT_EQ(Batch().Value(0), QStringLiteral("タイトル：月次報告書"));
  EXPECT_EQ(Included(), (std::array<bool, 14>{true, false, false, false, false, false, false, false, false, false,
                                                false, false, false, true}));
  EXPECT_EQ(Form().DateTimePicker1->date(), QDate(2001, 2, 3));
  EXPECT_EQ(Form().DateTimePicker2->time(), QTime(4, 5, 6));
  EXPECT_EQ(Form().DateTimePicker3->date(), Form().DateTimePicker11->date());
  EXPECT_EQ(Form().DateTimePicker4->time(), Form().DateTimePicker12->time());
  EXPECT_EQ(Form().DateTimePicker5->date(), QDate(2011, 12, 13));
  EXPECT_EQ(Form().DateTimePicker6->time(), QTime(14, 15, 16));
  EXPECT_EQ(Form().CheckBox1->checkState(), Qt::Unchecked);
  EXPECT_EQ(Form().CheckBox2->checkState(), Qt::Checked);
  EXPECT_EQ(Form().CheckBox3->checkState(), Qt::Unchecked);
  EXPECT_EQ(Form().CheckBox8->checkState(), Qt::Unchecked);
  EXPECT_FALSE(Form().CheckBox9->isChecked());
  EXPECT_FALSE(Form().DateTimePicker1->isEnabled());
  EXPECT_TRUE(Form().CheckBox10->isChecked());
  EXPECT_TRUE(Form().CheckBox4->isChecked());
}

TEST_F(ImportFromSelectedFileTest, AnEmptyLastPrintedDateComesAcrossErased) {
  AddByDialog({CopyOf("lo-ascii-noprint-multiline.docx")});
  ASSERT_EQ(Form().ListView3->Value(13), QString());
  Batch().SetValue(13, QStringLiteral("2020/01/02 3:04:00"));
  QTest::mouseClick(Form().ToolButton12, Qt::LeftButton);
  EXPECT_EQ(Batch().Value(13), QString());
  Form().PageControl1->setCurrentIndex(1);
  ClickBatchValue(13);
  EXPECT_TRUE(Editors().CheckBox15->isChecked());
}

TEST_F(ImportFromSelectedFileTest, AValueTypedOnTheSingleTabIsTakenAlong) {
  AddByDialog({CopyOf("lo-ascii-full.doc")});
  Form().PageControl1->setCurrentIndex(0);
  ClickValue(0);
  Editors().Edit1->setText(QStringLiteral("typed, not yet confirmed"));
  QTest::mouseClick(Form().ToolButton12, Qt::LeftButton);
  EXPECT_TRUE(NoneOpen());
  EXPECT_EQ(Form().ListView3->Value(0), QStringLiteral("typed, not yet confirmed"));
  EXPECT_EQ(Batch().Value(0), QStringLiteral("typed, not yet confirmed"));
}

TEST_F(ImportFromSelectedFileTest, WithNoFileSelectedNothingChanges) {
  AddByDialog({CopyOf("lo-ja-full.doc")});
  Form().ListView1->clearSelection();
  ASSERT_FALSE(Form().ToolButton12->isEnabled());
  const QStringList before = BatchTab();
  // The command checks for a selected file itself, whatever the button's state.
  Form().ToolButton12Click();
  EXPECT_EQ(BatchTab(), before);
}

}  // namespace
}  // namespace kestrel::app::test
