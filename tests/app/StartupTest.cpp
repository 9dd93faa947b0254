// Start-up: the five windows, the main window's controls and texts, the enabling state before any
// file is listed, the batch tab filled from the presets, the font, and closing.
#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
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

QStringList Texts(const QList<QAction*>& actions) {
  QStringList texts;
  for (const QAction* action : actions) {
    if (!action->isSeparator()) texts << action->text();
  }
  return texts;
}

TEST_F(StartupTest, TheFiveWindowsCarryTheirCaptions) {
  EXPECT_EQ(Window().windowTitle(), QStringLiteral("Kestrelpad"));
  EXPECT_EQ(Windows().hints.windowTitle(), QStringLiteral("ヘルプヒント"));
  EXPECT_EQ(Windows().about.windowTitle(), QStringLiteral("バージョン情報"));
  EXPECT_EQ(Windows().batchChange.windowTitle(), QStringLiteral("変更中..."));
  EXPECT_EQ(Windows().csvExport.windowTitle(), QStringLiteral("CSVを出力中..."));
  // Only the main window is shown at start-up; the others wait to be shown modally.
  for (const QDialog* dialog : std::initializer_list<const QDialog*>{&Windows().hints, &Windows().about,
                                                                     &Windows().batchChange, &Windows().csvExport}) {
    EXPECT_FALSE(dialog->isVisible()) << dialog->windowTitle().toStdString();
    EXPECT_TRUE(dialog->isModal()) << dialog->windowTitle().toStdString();
  }
}

TEST_F(StartupTest, MenusAndToolsCarryTheirCaptions) {
  const QList<QAction*> menus = Window().mainMenu->actions();
  ASSERT_EQ(menus.size(), 2);
  EXPECT_EQ(menus[0]->text(), QStringLiteral("ファイル(&F)"));
  EXPECT_EQ(Texts(menus[0]->menu()->actions()),
            (QStringList{QStringLiteral("ファイル追加(&A)"), QStringLiteral("フォルダからファイル追加(&D)"),
                         QStringLiteral("削除(&R)"), QStringLiteral("全て削除(&L)"), QStringLiteral("終了(&X)")}));
  EXPECT_EQ(menus[1]->text(), QStringLiteral("ヘルプ(&H)"));
  EXPECT_EQ(Texts(menus[1]->menu()->actions()),
            (QStringList{QStringLiteral("ヘルプ(&H)"), QStringLiteral("ヘルプオンライン(&O)"), QStringLiteral("ヒント(&T)"),
                         QStringLiteral("Norvale　ホームページ(&W)"), QStringLiteral("メールサポート(&M)"),
                         QStringLiteral("バージョン情報(&A)")}));
  EXPECT_EQ(Window().fileListMenu->actions(), (QList<QAction*>{Window().addFilesAction, Window().addFolderAction,
                                                             Window().removeAction, Window().removeAllAction}));
  const std::vector<std::pair<QAction*, QKeySequence>> shortcuts = {
      {Window().addFilesAction, QKeySequence(QStringLiteral("Ctrl+O"))},
      {Window().addFolderAction, QKeySequence(QStringLiteral("Ctrl+Shift+O"))},
      {Window().removeAction, QKeySequence(QStringLiteral("Del"))},
      {Window().helpAction, QKeySequence(QStringLiteral("F1"))},
      {Window().exitAction, QKeySequence(QStringLiteral("Ctrl+Q"))}};
  for (const auto& [action, keys] : shortcuts) EXPECT_EQ(action->shortcut(), keys) << action->text().toStdString();
  EXPECT_EQ(Window().addFilesButton->text(), QStringLiteral("ファイル追加"));
  EXPECT_EQ(Window().addFolderButton->text(), QStringLiteral("フォルダからファイル追加"));
  EXPECT_EQ(Window().removeButton->text(), QStringLiteral("削除"));
  EXPECT_EQ(Window().removeAllButton->text(), QStringLiteral("全て削除"));
  EXPECT_EQ(Window().savePresetButton->text(), QStringLiteral("既定保存"));
  EXPECT_EQ(Window().loadPresetButton->text(), QStringLiteral("既定のインポート"));
  EXPECT_EQ(Window().importFromSelectedButton->text(), QStringLiteral("選択したファイルからインポート"));
  // Tool buttons never take the focus; that is why their commands close the editors themselves.
  for (const QToolButton* tool :
       {Window().addFilesButton, Window().addFolderButton, Window().removeButton, Window().removeAllButton,
        Window().savePresetButton, Window().loadPresetButton, Window().importFromSelectedButton}) {
    EXPECT_EQ(tool->focusPolicy(), Qt::NoFocus) << tool->objectName().toStdString();
  }
}

TEST_F(StartupTest, TabsGroupsBoxesAndButtonsCarryTheirCaptions) {
  EXPECT_EQ(Window().tabs->tabText(0), QStringLiteral("単一変更"));
  EXPECT_EQ(Window().tabs->tabText(1), QStringLiteral("一括変更"));
  EXPECT_EQ(Window().tabs->widget(0), Window().singleTab);
  for (const QGroupBox* group : {Window().fileTimesGroup, Window().batchFileTimesGroup})
    EXPECT_EQ(group->title(), QStringLiteral("ファイル日時"));
  for (const QGroupBox* group : {Window().attributesGroup, Window().batchAttributesGroup})
    EXPECT_EQ(group->title(), QStringLiteral("ファイル属性"));
  for (QGroupBox* group : {Window().fileTimesGroup, Window().batchFileTimesGroup}) {
    QStringList labels;
    for (const QLabel* label : group->findChildren<QLabel*>()) labels << label->text();
    EXPECT_EQ(labels, (QStringList{QStringLiteral("作成日時："), QStringLiteral("更新時間："), QStringLiteral("アクセス日時：")}));
  }
  const QString backup = QStringLiteral("変更する前に、元のファイルを同じフォルダにバックアップする");
  EXPECT_EQ(Window().singleBackupBox->text(), backup);
  EXPECT_EQ(Window().batchBackupBox->text(), backup);
  const std::array<std::pair<QCheckBox*, const char*>, 8> boxes = {{{Window().readOnlyBox, "読み取り専用"},
                                                                    {Window().archiveBox, "アーカイブ"},
                                                                    {Window().hiddenBox, "隠し"},
                                                                    {Window().systemBox, "システム"},
                                                                    {Window().batchReadOnlyBox, "読み取り専用"},
                                                                    {Window().batchArchiveBox, "アーカイブ"},
                                                                    {Window().batchHiddenBox, "隠し"},
                                                                    {Window().batchSystemBox, "システム"}}};
  for (const auto& [box, caption] : boxes) {
    EXPECT_EQ(box->text(), QString::fromUtf8(caption));
    EXPECT_TRUE(box->isTristate());
    EXPECT_EQ(box->checkState(), Qt::PartiallyChecked) << caption;
  }
  const std::array<std::pair<QPushButton*, const char*>, 8> buttons = {{{Window().changeSelectedButton, "変更"},
                                                                        {Window().exportSelectedButton, "CSV出力"},
                                                                        {Window().singleHintsButton, "ヒント"},
                                                                        {Window().singleCloseButton, "終了"},
                                                                        {Window().changeAllButton, "変更"},
                                                                        {Window().exportAllButton, "CSV出力"},
                                                                        {Window().batchHintsButton, "ヒント"},
                                                                        {Window().batchCloseButton, "終了"}}};
  for (const auto& [button, caption] : buttons) EXPECT_EQ(button->text(), QString::fromUtf8(caption));
  EXPECT_EQ(Window().editors->eraseBox->text(), QStringLiteral("消す"));
}

TEST_F(StartupTest, BothPropertyListsShowTheCatalogueRows) {
  for (PropertyListView* list : {Window().singleProperties, Window().batchProperties}) {
    EXPECT_EQ(list->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("概要情報"));
    EXPECT_EQ(list->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("値"));
    ASSERT_EQ(list->rowCount(), 14);
    for (int row = 0; row < 14; ++row) {
      EXPECT_EQ(list->item(row, 0)->text(), QString::fromUtf8(kCaptions.at(static_cast<std::size_t>(row))));
      EXPECT_EQ(list->rowHeight(row), 20);
    }
    EXPECT_EQ(list->columnWidth(0), 160);
  }
  EXPECT_EQ(Window().singleProperties->Values(), (std::array<std::string, 14>{}));
  EXPECT_EQ(Window().fileList->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("ファイル名前"));
}

TEST_F(StartupTest, StartsOnTheSingleTabWithWhatNeedsAFileDisabled) {
  EXPECT_EQ(Window().tabs->currentIndex(), 0);
  EXPECT_EQ(Window().Files().rowCount(), 0);
  EXPECT_EQ(EnabledControls(Window()), QStringLiteral("addFilesButton addFolderButton fileTimesGroup attributesGroup"));
  EXPECT_TRUE(Window().singleBackupBox->isChecked());
  for (const QWidget* editor : {static_cast<QWidget*>(Window().editors->textEditor), Window().editors->dateTimeEditor,
                                Window().editors->numberEditor}) {
    EXPECT_TRUE(editor->isHidden());
  }
}

TEST_F(StartupTest, AtTheFirstStartTheBatchTabShowsTheDefaults) {
  const QString now = QString::fromStdString(time::FormatDateTimeText(CurrentLocalDateTime()));
  PropertyListView& list = *Window().batchProperties;
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
       {Window().batchCreationDateBox, Window().batchCreationTimeBox, Window().batchLastWriteDateBox,
        Window().batchLastWriteTimeBox, Window().batchLastAccessDateBox, Window().batchLastAccessTimeBox}) {
    EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
  }
  for (const QDateEdit* date :
       {Window().batchCreationDate, Window().batchLastWriteDate, Window().batchLastAccessDate}) {
    EXPECT_TRUE(date->isEnabled());
    EXPECT_EQ(date->date(), QDate::currentDate());
  }
  for (QCheckBox* box :
       {Window().batchReadOnlyBox, Window().batchArchiveBox, Window().batchHiddenBox, Window().batchSystemBox}) {
    EXPECT_EQ(box->checkState(), Qt::PartiallyChecked);
  }
  EXPECT_FALSE(Window().batchBackupBox->isChecked());
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
  MainWindow& window = windows.mainWindow;
  EXPECT_FALSE(window.isVisible());
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
  EXPECT_EQ(Window().fileTools->font().pixelSize(), 11);
  if (!QFontDatabase::families().contains(QStringLiteral("IPAPGothic"))) {
    GTEST_SKIP() << "IPAPGothic is not installed (Debian package fonts-ipafont-gothic)";
  }
  EXPECT_EQ(QFontInfo(Window().font()).family(), QStringLiteral("IPAPGothic"));
}

TEST_F(StartupTest, TheValueColumnFollowsTheListWidth) {
  for (PropertyListView* list : {Window().singleProperties, Window().batchProperties}) {
    // A hidden list is told its size only when shown.
    Window().tabs->setCurrentIndex(list == Window().singleProperties ? 0 : 1);
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
    ASSERT_FALSE(Window().editors->textEditor->isHidden());
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
