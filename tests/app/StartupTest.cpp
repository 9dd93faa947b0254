// Start-up: the five windows, the main window's menus and keys, the enabling state before any
// file is listed, the batch tab filled from the presets, the font, and closing.
#include <map>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>

#include "app/FileListModel.h"
#include "app/FileListView.h"
#include "app/InPlaceEditors.h"
#include "app/PickerValues.h"
#include "app/PropertyListView.h"
#include "app/SettingsPresetStore.h"
#include "presets/PresetValues.h"
#include "platform/time/DateTimeText.h"
#include "tests/app/MainWindowFixture.h"

namespace kestrel::app::test {
namespace {

using StartupTest = MainWindowFixture;

const std::array<const char*, 14> kCaptions = {"タイトル",   "表題",     "作成者",       "キーワード", "コメント",
                                               "カテゴリー", "改訂番号", "前回保存者",   "管理者",     "会社名",
                                               "作成日時",   "前回保存日時", "編集時間", "前回印刷日時"};

TEST_F(StartupTest, OnlyTheMainWindowIsShownTheOthersWaitToBeShownModally) {
  EXPECT_TRUE(Window().isVisible());
  for (const QDialog* dialog : std::initializer_list<const QDialog*>{&Windows().hints, &Windows().about,
                                                                     &Windows().batchChange, &Windows().csvExport}) {
    EXPECT_FALSE(dialog->isVisible()) << dialog->windowTitle().toStdString();
    EXPECT_TRUE(dialog->isModal()) << dialog->windowTitle().toStdString();
  }
}

TEST_F(StartupTest, ThePopupOffersTheFileMenusCommandsAndTheToolButtonsTakeNoFocus) {
  const QList<QAction*> fileMenu = View().mainMenu->actions().at(0)->menu()->actions();
  EXPECT_EQ(View().fileListMenu->actions(), fileMenu.mid(0, 4));
  // Tool buttons never take the focus; that is why their commands close the editors themselves.
  for (const QToolButton* tool :
       {View().addFilesButton, View().addFolderButton, View().removeButton, View().removeAllButton,
        View().savePresetButton, View().loadPresetButton, View().importFromSelectedButton}) {
    EXPECT_EQ(tool->focusPolicy(), Qt::NoFocus) << tool->objectName().toStdString();
  }
}

TEST_F(StartupTest, TheMenuKeysRunTheirCommands) {
  QTest::keyClick(&Window(), Qt::Key_F1);
  EXPECT_EQ(dialogs_.opened.size(), 1U) << "the help page was opened";
  dialogs_.folderAnswers.push_back(std::nullopt);
  QTest::keyClick(&Window(), Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(dialogs_.prompts.size(), 1U) << "the folder door was opened";
  QTest::keyClick(&Window(), Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(Window().isVisible());
}

// A screen reader tells every table, picker, box and button of the window apart by its name.
TEST_F(StartupTest, EveryControlHasANameOfItsOwn) {
  std::map<QString, QString> owners;  // accessible name -> object name
  for (QWidget* control : Window().findChildren<QWidget*>()) {
    const bool isControl = qobject_cast<QAbstractButton*>(control) != nullptr ||
                           qobject_cast<QAbstractSpinBox*>(control) != nullptr ||
                           qobject_cast<QAbstractItemView*>(control) != nullptr;
    // Parts of other controls (a table's corner, a tab bar's arrows) are not controls of their own.
    if (!isControl || qobject_cast<QAbstractItemView*>(control->parentWidget()) != nullptr ||
        qobject_cast<QTabBar*>(control->parentWidget()) != nullptr ||
        qobject_cast<QMenuBar*>(control->parentWidget()) != nullptr) {
      continue;
    }
    const QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
    ASSERT_NE(accessible, nullptr);
    const QString name = accessible->text(QAccessible::Name);
    EXPECT_FALSE(name.isEmpty()) << control->objectName().toStdString() << " " << control->metaObject()->className()
                                 << " in " << control->parentWidget()->metaObject()->className();
    const auto [found, added] = owners.emplace(name, control->objectName());
    EXPECT_TRUE(added) << name.toStdString() << ": " << found->second.toStdString() << " and "
                       << control->objectName().toStdString();
  }
  EXPECT_EQ(owners.count(QStringLiteral("作成日時の日付（一括変更）")), 1U);
  EXPECT_EQ(owners.count(QStringLiteral("作成日時の時刻を変更する（一括変更）")), 1U);
  EXPECT_EQ(owners.count(QStringLiteral("プロパティ（単一変更）")), 1U);
}

// 1366x768 at 200 % leaves 683x384: the window fits, and its panels scroll to every button.
TEST_F(StartupTest, AWindowAsSmallAsALargeScaleLeavesItScrollsToEveryButton) {
  Window().resize(683, 384);
  QApplication::processEvents();
  EXPECT_LE(Window().width(), 683);
  EXPECT_LE(Window().height(), 384);
  auto* scroller = Window().findChild<QScrollArea*>(QStringLiteral("windowScroller"));
  ASSERT_NE(scroller, nullptr);
  for (int tab = 0; tab < View().tabs->count(); ++tab) {
    View().tabs->setCurrentIndex(tab);
    for (QPushButton* button : View().tabs->currentWidget()->findChildren<QPushButton*>()) {
      scroller->ensureWidgetVisible(button, 0, 0);
      const QRect shown(button->mapTo(scroller->viewport(), QPoint(0, 0)), button->size());
      EXPECT_TRUE(scroller->viewport()->rect().contains(shown)) << button->objectName().toStdString();
    }
  }
}

// Tab follows the layout, top to bottom and left to right, one stop per control: a picker is one
// stop, not three sections.
TEST_F(StartupTest, TabGoesFromThePropertyListToTheChangeButtonInTheLayoutsOrder) {
  AddByDialog({CopyOf("lo-ascii-full.doc")});
  Window().activateWindow();
  View().singleProperties->setFocus();
  QStringList visited;
  for (int press = 0; press < 20 && QApplication::focusWidget() != View().changeSelectedButton; ++press) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    visited << QApplication::focusWidget()->objectName();
  }
  EXPECT_EQ(visited.size(), 12) << visited.join(u' ').toStdString();
  EXPECT_EQ(visited.mid(0, 6), (QStringList{QStringLiteral("creationDate"), QStringLiteral("creationTime"),
                                            QStringLiteral("lastWriteDate"), QStringLiteral("lastWriteTime"),
                                            QStringLiteral("lastAccessDate"), QStringLiteral("lastAccessTime")}));
}

TEST_F(StartupTest, BothPropertyListsShowTheCatalogueRows) {
  for (PropertyListView* list : {View().singleProperties, View().batchProperties}) {
    EXPECT_EQ(list->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("概要情報"));
    EXPECT_EQ(list->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("値"));
    ASSERT_EQ(list->rowCount(), 14);
    for (int row = 0; row < 14; ++row) {
      EXPECT_EQ(list->item(row, 0)->text(), QString::fromUtf8(kCaptions.at(static_cast<std::size_t>(row))));
    }
  }
  EXPECT_EQ(View().singleProperties->Values(), (std::array<std::string, 14>{}));
  EXPECT_EQ(View().fileList->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("ファイル名前"));
}

TEST_F(StartupTest, StartsOnTheSingleTabWithWhatNeedsAFileDisabled) {
  EXPECT_EQ(View().tabs->currentIndex(), 0);
  EXPECT_EQ(Window().Files().rowCount(), 0);
  EXPECT_EQ(EnabledControls(View()), QStringLiteral("addFilesButton addFolderButton fileTimesGroup attributesGroup"));
  EXPECT_TRUE(View().singleBackupBox->isChecked());
  for (const QWidget* editor : {static_cast<QWidget*>(View().editors->textEditor), View().editors->dateTimeEditor,
                                View().editors->numberEditor}) {
    EXPECT_TRUE(editor->isHidden());
  }
}

TEST_F(StartupTest, AtTheFirstStartTheBatchTabShowsTheDefaults) {
  const QString now = QString::fromStdString(time::FormatDateTimeText(CurrentLocalDateTime()));
  PropertyListView& list = *View().batchProperties;
  for (int row = 0; row < 14; ++row) {
    EXPECT_FALSE(list.Included(row)) << row;
    if (row == 10 || row == 11) {
      // The current date and time to the minute (the clock may have passed a minute meanwhile);
      // at midnight the text is the date alone.
      EXPECT_TRUE(list.Value(row).endsWith(u":00") || !list.Value(row).contains(u' ')) << list.Value(row).toStdString();
      EXPECT_EQ(list.Value(row).left(10), now.left(10));
    } else if (row == 6 || row == 12) {
      EXPECT_EQ(list.Value(row), QStringLiteral("1"));
    } else {
      EXPECT_EQ(list.Value(row), QString()) << row;
    }
  }
  for (QCheckBox* box :
       {View().batchCreationDateBox, View().batchCreationTimeBox, View().batchLastWriteDateBox,
        View().batchLastWriteTimeBox, View().batchLastAccessDateBox, View().batchLastAccessTimeBox}) {
    EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
  }
  for (const QDateEdit* date :
       {View().batchCreationDate, View().batchLastWriteDate, View().batchLastAccessDate}) {
    EXPECT_TRUE(date->isEnabled());
    EXPECT_EQ(date->date(), QDate::currentDate());
  }
  for (QCheckBox* box :
       {View().batchReadOnlyBox, View().batchArchiveBox, View().batchHiddenBox, View().batchSystemBox}) {
    EXPECT_EQ(box->checkState(), Qt::PartiallyChecked);
  }
  EXPECT_FALSE(View().batchBackupBox->isChecked());
}

TEST(StartupPresets, StoredPresetsFillTheBatchTabBeforeTheWindowIsShown) {
  kestrel::test::ScopedTimeZone zone("Asia/Tokyo");
  catalogue::BatchValues stored;
  stored.rows.values.at(0) = "共通タイトル";
  stored.rows.included.at(0) = true;
  stored.rows.values.at(10) = "2021/04/01 9:30:00";
  stored.rows.values.at(11) = "2021/04/02 10:00:00";
  stored.rows.values.at(6) = "7";
  stored.rows.values.at(12) = "15";
  stored.times.creationDate = {true, 44287.0};            // 2021/04/01
  stored.times.creationTime = {false, 44287.0 + 0.5};     // 12:00
  stored.times.lastWriteDate = {true, 44288.0};
  stored.times.lastWriteTime = {true, 44288.25};
  stored.times.lastAccessDate = {false, 44289.0};
  stored.times.lastAccessTime = {true, 44289.75};
  stored.attributes.readOnly = catalogue::AttributeChoice::Set;
  stored.attributes.hidden = catalogue::AttributeChoice::Clear;
  stored.backup = true;
  const ScopedSettingsFolder settings;
  {
    SettingsPresetStore store;
    presets::SavePreset(store, stored);
  }
  ScriptedDialogs dialogs;
  ProgramWindows windows(dialogs);
  EXPECT_FALSE(windows.mainWindow.isVisible());
  const MainWindowView window(windows.mainWindow);
  EXPECT_EQ(window.batchProperties->Value(0), QStringLiteral("共通タイトル"));
  EXPECT_TRUE(window.batchProperties->Included(0));
  EXPECT_FALSE(window.batchProperties->Included(1));
  EXPECT_EQ(window.batchProperties->Value(6), QStringLiteral("7"));
  EXPECT_EQ(window.batchProperties->Value(10), QStringLiteral("2021/04/01 9:30:00"));
  EXPECT_TRUE(window.batchCreationDateBox->isChecked());
  EXPECT_FALSE(window.batchCreationTimeBox->isChecked());
  EXPECT_FALSE(window.batchCreationTime->isEnabled());
  EXPECT_TRUE(window.batchCreationDate->isEnabled());
  EXPECT_EQ(window.batchCreationDate->date(), QDate(2021, 4, 1));
  EXPECT_EQ(window.batchLastWriteTime->time(), QTime(6, 0));
  EXPECT_FALSE(window.batchLastAccessDateBox->isChecked());
  EXPECT_FALSE(window.batchLastAccessDate->isEnabled());
  EXPECT_EQ(window.batchReadOnlyBox->checkState(), Qt::Checked);
  EXPECT_EQ(window.batchArchiveBox->checkState(), Qt::PartiallyChecked);
  EXPECT_EQ(window.batchHiddenBox->checkState(), Qt::Unchecked);
  EXPECT_TRUE(window.batchBackupBox->isChecked());
}

TEST_F(StartupTest, TheWindowAsksForMsPGothicAndGetsIpaPGothic) {
  EXPECT_EQ(Window().font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
  EXPECT_EQ(Window().font().pixelSize(), 12);
  if (!QFontDatabase::families().contains(QStringLiteral("IPAPGothic"))) {
    GTEST_SKIP() << "IPAPGothic is not installed (Debian package fonts-ipafont-gothic)";
  }
  EXPECT_EQ(QFontInfo(Window().font()).family(), QStringLiteral("IPAPGothic"));
}

TEST_F(StartupTest, TheValueColumnFollowsTheListWidth) {
  for (PropertyListView* list : {View().singleProperties, View().batchProperties}) {
    // A hidden list is told its size only when shown.
    View().tabs->setCurrentIndex(list == View().singleProperties ? 0 : 1);
    list->resize(500, list->height());
    EXPECT_EQ(list->columnWidth(1), 320);
    list->resize(301, list->height());
    EXPECT_EQ(list->columnWidth(1), 121);
    list->resize(300, list->height());
    EXPECT_EQ(list->columnWidth(1), 100);
    list->resize(200, list->height());
    EXPECT_EQ(list->columnWidth(1), 100);
    // Neither column can be dragged to another width.
    EXPECT_EQ(list->horizontalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
    EXPECT_EQ(list->horizontalHeader()->sectionResizeMode(1), QHeaderView::Fixed);
  }
}

TEST_F(StartupTest, EachExitClosesTheWindowWithoutAskingEvenWithAnEditorOpen) {
  for (const char* exit : {"singleCloseButton", "batchCloseButton", "exitAction"}) {
    Window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window()));
    AddByDialog({CopyOf("lo-ascii-full.doc")});
    ClickValue(0);
    ASSERT_FALSE(View().editors->textEditor->isHidden());
    if (auto* action = Window().findChild<QAction*>(QString::fromLatin1(exit))) {
      action->trigger();
    } else {
      Window().findChild<QPushButton*>(QString::fromLatin1(exit))->click();
    }
    EXPECT_FALSE(Window().isVisible()) << exit;
  }
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_TRUE(dialogs_.modalTitles.empty());
}

}  // namespace
}  // namespace kestrel::app::test
