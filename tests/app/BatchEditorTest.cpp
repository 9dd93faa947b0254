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
    View().tabs->setCurrentIndex(1);
    QApplication::processEvents();
  }

  PropertyListView& Batch() { return *View().batchProperties; }
  InPlaceEditors& Editors() { return *View().editors; }
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
    return Editors().textEditor->isHidden() && Editors().dateTimeEditor->isHidden() &&
           Editors().numberEditor->isHidden();
  }
  std::array<bool, 14> Included() {
    std::array<bool, 14> included{};
    for (int row = 0; row < 14; ++row) included.at(static_cast<std::size_t>(row)) = Batch().Included(row);
    return included;
  }
};

TEST_F(BatchEditorTest, ARowBoxTogglesByItsBoxAndByADoubleClickNeverByASingleClickOnTheRow) {
  ClickBatchValue(0);
  EXPECT_FALSE(Editors().textEditor->isHidden());
  QTest::keyClick(Editors().textEditor, Qt::Key_Escape);
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
  ASSERT_EQ(Window().Files().rowCount(), 0);
  ClickBatchValue(0);
  auto& edit = *Editors().textEditor;
  ASSERT_FALSE(edit.isHidden());
  EXPECT_EQ(edit.parentWidget(), Batch().viewport());
  EXPECT_EQ(edit.geometry(), QRect(Cell(0, 1).left() + 3, Cell(0, 1).top(), Batch().columnWidth(1) - 4, 20));
  Type(&edit, QStringLiteral("共通の題名"));
  QTest::keyClick(&edit, Qt::Key_Return);
  EXPECT_EQ(Batch().Value(0), QStringLiteral("共通の題名"));
  EXPECT_EQ(View().singleProperties->Value(0), QString());
  // Editing a value does not check its row.
  EXPECT_FALSE(Batch().Included(0));

  ClickBatchValue(6);
  ASSERT_FALSE(Editors().numberEditor->isHidden());
  EXPECT_EQ(Editors().numberEditor->parentWidget(), Batch().viewport());
  EXPECT_EQ(Editors().numberBox->text(), QStringLiteral("1"));
  Editors().numberSpinner->Step(1);
  ClickBatchValue(10);  // the click moves the focus, which closes the number editor first
  EXPECT_EQ(Batch().Value(6), QStringLiteral("2"));
  ASSERT_FALSE(Editors().dateTimeEditor->isHidden());
  EXPECT_TRUE(Editors().eraseBox->isHidden());
  Editors().editorDate->setDate(QDate(2019, 7, 8));
  Editors().editorTime->setTime(QTime(9, 10, 11));
  Window().CloseEditors();
  EXPECT_EQ(Batch().Value(10), QStringLiteral("2019/07/08 9:10:00"));

  // The last-printed row starts erased, and its editor shows "消す" checked.
  ASSERT_EQ(Batch().Value(13), QString());
  ClickBatchValue(13);
  EXPECT_FALSE(Editors().eraseBox->isHidden());
  EXPECT_TRUE(Editors().eraseBox->isChecked());
  // Beside the list's scroll bar the widest editor still shows whole, over the value cell.
  EXPECT_LE(Editors().dateTimeEditor->geometry().right(), Batch().viewport()->width() - 1);
  EXPECT_LT(Editors().dateTimeEditor->geometry().left(), Cell(13, 1).left() + 3);
  EXPECT_GT(Editors().dateTimeEditor->geometry().left(), Cell(13, 0).center().x());
  Window().CloseEditors();
  EXPECT_EQ(Batch().Value(13), QString());
  EXPECT_EQ(Included(), (std::array<bool, 14>{}));

  // The caption column opens nothing.
  QTest::mouseClick(Batch().viewport(), Qt::LeftButton, Qt::NoModifier, CaptionText(3));
  EXPECT_TRUE(NoneOpen());
}

TEST_F(BatchEditorTest, EachTimeBoxEnablesOnlyItsOwnPicker) {
  const std::array<std::pair<QCheckBox*, QWidget*>, 6> boxes = {
      {{View().batchCreationDateBox, View().batchCreationDate},
       {View().batchCreationTimeBox, View().batchCreationTime},
       {View().batchLastWriteDateBox, View().batchLastWriteDate},
       {View().batchLastWriteTimeBox, View().batchLastWriteTime},
       {View().batchLastAccessDateBox, View().batchLastAccessDate},
       {View().batchLastAccessTimeBox, View().batchLastAccessTime}}};
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
  View().batchLastWriteDateBox->setChecked(false);
  Window().SavePreset();
  View().batchLastWriteDateBox->setChecked(true);
  ASSERT_TRUE(View().batchLastWriteDate->isEnabled());
  QTest::mouseClick(View().loadPresetButton, Qt::LeftButton);
  EXPECT_FALSE(View().batchLastWriteDateBox->isChecked());
  EXPECT_FALSE(View().batchLastWriteDate->isEnabled());
  EXPECT_TRUE(View().batchLastWriteTime->isEnabled());
}

TEST_F(BatchEditorTest, TheAttributeBoxesCycleUncheckedGrayedChecked) {
  for (QCheckBox* box :
       {View().batchReadOnlyBox, View().batchArchiveBox, View().batchHiddenBox, View().batchSystemBox}) {
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
    for (const QDateEdit* date :
         {View().batchCreationDate, View().batchLastWriteDate, View().batchLastAccessDate}) {
      shown << date->date().toString(Qt::ISODate);
    }
    for (const QTimeEdit* time :
         {View().batchCreationTime, View().batchLastWriteTime, View().batchLastAccessTime}) {
      shown << time->time().toString(Qt::ISODateWithMs);
    }
    for (const QCheckBox* box :
         {View().batchCreationDateBox, View().batchCreationTimeBox, View().batchLastWriteDateBox,
          View().batchLastWriteTimeBox, View().batchLastAccessDateBox, View().batchLastAccessTimeBox,
          View().batchReadOnlyBox, View().batchArchiveBox, View().batchHiddenBox, View().batchSystemBox,
          View().batchBackupBox}) {
      shown << QString::number(box->checkState());
    }
    return shown;
  }
};

TEST_F(ImportFromSelectedFileTest, CopiesValuesTimesAndAttributesButNoBoxes) {
  AddByDialog({CopyOf("lo-ja-full.doc")});
  View().tabs->setCurrentIndex(1);
  Batch().SetIncluded(0, true);
  Batch().SetIncluded(13, true);
  View().batchCreationDateBox->setChecked(false);
  View().batchBackupBox->setChecked(true);
  View().batchReadOnlyBox->setCheckState(Qt::Checked);
  // Grayed on the single tab gives unchecked here; checked stays checked, unchecked unchecked.
  View().readOnlyBox->setCheckState(Qt::PartiallyChecked);
  View().archiveBox->setCheckState(Qt::Checked);
  View().hiddenBox->setCheckState(Qt::Unchecked);
  View().systemBox->setCheckState(Qt::PartiallyChecked);
  View().creationDate->setDate(QDate(2001, 2, 3));
  View().creationTime->setTime(QTime(4, 5, 6));
  View().lastAccessDate->setDate(QDate(2011, 12, 13));
  View().lastAccessTime->setTime(QTime(14, 15, 16));
  QTest::mouseClick(View().importFromSelectedButton, Qt::LeftButton);

  EXPECT_EQ(Batch().Values(), View().singleProperties->Values());
  EXPECT_EQ(Batch().Value(0), QStringLiteral("タイトル：月次報告書"));
  EXPECT_EQ(Included(), (std::array<bool, 14>{true, false, false, false, false, false, false, false, false, false,
                                                false, false, false, true}));
  EXPECT_EQ(View().batchCreationDate->date(), QDate(2001, 2, 3));
  EXPECT_EQ(View().batchCreationTime->time(), QTime(4, 5, 6));
  EXPECT_EQ(View().batchLastWriteDate->date(), View().lastWriteDate->date());
  EXPECT_EQ(View().batchLastWriteTime->time(), View().lastWriteTime->time());
  EXPECT_EQ(View().batchLastAccessDate->date(), QDate(2011, 12, 13));
  EXPECT_EQ(View().batchLastAccessTime->time(), QTime(14, 15, 16));
  EXPECT_EQ(View().batchReadOnlyBox->checkState(), Qt::Unchecked);
  EXPECT_EQ(View().batchArchiveBox->checkState(), Qt::Checked);
  EXPECT_EQ(View().batchHiddenBox->checkState(), Qt::Unchecked);
  EXPECT_EQ(View().batchSystemBox->checkState(), Qt::Unchecked);
  EXPECT_FALSE(View().batchCreationDateBox->isChecked());
  EXPECT_FALSE(View().batchCreationDate->isEnabled());
  EXPECT_TRUE(View().batchCreationTimeBox->isChecked());
  EXPECT_TRUE(View().batchBackupBox->isChecked());
}

TEST_F(ImportFromSelectedFileTest, AnEmptyLastPrintedDateComesAcrossErased) {
  AddByDialog({CopyOf("lo-ascii-noprint-multiline.docx")});
  ASSERT_EQ(View().singleProperties->Value(13), QString());
  Batch().SetValue(13, QStringLiteral("2020/01/02 3:04:00"));
  QTest::mouseClick(View().importFromSelectedButton, Qt::LeftButton);
  EXPECT_EQ(Batch().Value(13), QString());
  View().tabs->setCurrentIndex(1);
  ClickBatchValue(13);
  EXPECT_TRUE(Editors().eraseBox->isChecked());
}

TEST_F(ImportFromSelectedFileTest, AValueTypedOnTheSingleTabIsTakenAlong) {
  AddByDialog({CopyOf("lo-ascii-full.doc")});
  View().tabs->setCurrentIndex(0);
  ClickValue(0);
  Editors().textEditor->setText(QStringLiteral("typed, not yet confirmed"));
  QTest::mouseClick(View().importFromSelectedButton, Qt::LeftButton);
  EXPECT_TRUE(NoneOpen());
  EXPECT_EQ(View().singleProperties->Value(0), QStringLiteral("typed, not yet confirmed"));
  EXPECT_EQ(Batch().Value(0), QStringLiteral("typed, not yet confirmed"));
}

TEST_F(ImportFromSelectedFileTest, WithNoFileSelectedNothingChanges) {
  AddByDialog({CopyOf("lo-ja-full.doc")});
  View().fileList->clearSelection();
  ASSERT_FALSE(View().importFromSelectedButton->isEnabled());
  const QStringList before = BatchTab();
  // The command checks for a selected file itself, whatever the button's state.
  Window().ImportFromSelectedFile();
  EXPECT_EQ(BatchTab(), before);
}

}  // namespace
}  // namespace kestrel::app::test
