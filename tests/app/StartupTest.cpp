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
#include "export/PresetValues.h"
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
  EXPECT_EQ(Form().windowTitle(), QStringLiteral("Kestrelpad"));
  EXPECT_EQ(Forms().hints.windowTitle(), QStringLiteral("ヘルプヒント"));
  EXPECT_EQ(Forms().about.windowTitle(), QStringLiteral("バージョン情報"));
  EXPECT_EQ(Forms().batchChange.windowTitle(), QStringLiteral("変更中..."));
  EXPECT_EQ(Forms().csvExport.windowTitle(), QStringLiteral("CSVを出力中..."));
  // Only the main window is shown at start-up; the others wait to be shown modally.
  for (const QDialog* dialog : std::initializer_list<const QDialog*>{&Forms().hints, &Forms().about,
                                                                     &Forms().batchChange, &Forms().csvExport}) {
    EXPECT_FALSE(dialog->isVisible()) << dialog->windowTitle().toStdString();
    EXPECT_TRUE(dialog->isModal()) << dialog->windowTitle().toStdString();
  }
}

TEST_F(StartupTest, MenusAndToolsCarryTheirCaptions) {
  const QList<QAction*> menus = Form().mainMenu->actions();
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
  EXPECT_EQ(Form().fileListMenu->actions(), (QList<QAction*>{Form().addFilesAction, Form().addFolderAction,
                                                             Form().removeAction, Form().removeAllAction}));
  const std::vector<std::pair<QAction*, QKeySequence>> shortcuts = {
      {Form().addFilesAction, QKeySequence(QStringLiteral("Ctrl+O"))},
      {Form().addFolderAction, QKeySequence(QStringLiteral("Ctrl+Shift+O"))},
      {Form().removeAction, QKeySequence(QStringLiteral("Del"))},
      {Form().helpAction, QKeySequence(QStringLiteral("F1"))},
      {Form().exitAction, QKeySequence(QStringLiteral("Ctrl+Q"))}};
  for (const auto& [action, keys] : shortcuts) EXPECT_EQ(action->shortcut(), keys) << action->text().toStdString();
  EXPECT_EQ(Form().addFilesButton->text(), QStringLiteral("ファイル追加"));
  EXPECT_EQ(Form().addFolderButton->text(), QStringLiteral("フォルダからファイル追加"));
  EXPECT_EQ(Form().removeButton->text(), QStringLiteral("削除"));
  EXPECT_EQ(Form().removeAllButton->text(), QStringLiteral("全て削除"));
  EXPECT_EQ(Form().savePresetButton->text(), QStringLiteral("既定保存"));
  EXPECT_EQ(Form().loadPresetButton->text(), QStringLiteral("既定のインポート"));
  EXPECT_EQ(Form().importFromSelectedButton->text(), QStringLiteral("選択したファイルからインポート"));
  // Tool buttons never take the focus; that is why their commands close the editors themselves.
  for (const QToolButton* tool :
       {Form().addFilesButton, Form().addFolderButton, Form().removeButton, Form().removeAllButton,
        Form().savePresetButton, Form().loadPresetButton, Form().importFromSelectedButton}) {
    EXPECT_EQ(tool->focusPolicy(), Qt::NoFocus) << tool->objectName().toStdString();
  }
}

TEST_F(StartupTest, TabsGroupsBoxesAndButtonsCarryTheirCaptions) {
  EXPECT_EQ(Form().tabs->tabText(0), QStringLiteral("単一変更"));
  EXPECT_EQ(Form().tabs->tabText(1), QStringLiteral("一括変更"));
  EXPECT_EQ(Form().tabs->widget(0), Form().singleTab);
  for (const QGroupBox* group : {Form().fileTimesGroup, Form().batchFileTimesGroup})
    EXPECT_EQ(group->title(), QStringLiteral("ファイル日時"));
  for (const QGroupBox* group : {Form().attributesGroup, Form().batchAttributesGroup})
    EXPECT_EQ(group->title(), QStringLiteral("ファイル属性"));
  for (QGroupBox* group : {Form().fileTimesGroup, Form().batchFileTimesGroup}) {
    QStringList labels;
    for (const QLabel* label : group->findChildren<QLabel*>()) labels << label->text();
    EXPECT_EQ(labels, (QStringList{QStringLiteral("作成日時："), QStringLiteral("更新時間："), QStringLiteral("アクセス日時：")}));
  }
  const QString backup = QStringLiteral("変更する前に、元のファイルを同じフォルダにバックアップする");
  EXPECT_EQ(Form().singleBackupBox->text(), backup);
  EXPECT_EQ(Form().batchBackupBox->text(), backup);
  const std::array<std::pair<QCheckBox*, const char*>, 8> boxes = {{{Form().readOnlyBox, "読み取り専用"},
                                                                    {Form().archiveBox, "アーカイブ"},
                                                                    {Form().hiddenBox, "隠し"},
                                                                    {Form().systemBox, "システム"},
                                                                    {Form().batchReadOnlyBox, "読み取り専用"},
                                                                    {Form().batchArchiveBox, "アーカイブ"},
                                                                    {Form().batchHiddenBox, "隠し"},
                                                                    {Form().batchSystemBox, "システム"}}};
  for (const auto& [box, caption] : boxes) {
    EXPECT_EQ(box->text(), QString::fromUtf8(caption));
    EXPECT_TRUE(box->isTristate());
    EXPECT_EQ(box->checkState(), Qt::PartiallyChecked) << caption;
  }
  const std::array<std::pair<QPushButton*, const char*>, 8> buttons = {{{Form().changeSelectedButton, "変更"},
                                                                        {Form().exportSelectedButton, "CSV出力"},
                                                                        {Form().singleHintsButton, "ヒント"},
                                                                        {Form().singleCloseButton, "終了"},
                                                                        {Form().changeAllButton, "変更"},
                                                                        {Form().exportAllButton, "CSV出力"},
                                                                        {Form().batchHintsButton, "ヒント"},
                                                                        {Form().batchCloseButton, "終了"}}};
  for (const auto& [button, caption] : buttons) EXPECT_EQ(button->text(), QString::fromUtf8(caption));
  EXPECT_EQ(Form().editors->eraseBox->text(), QStringLiteral("消す"));
}

TEST_F(StartupTest, BothPropertyListsShowTheCatalogueRows) {
  for (PropertyListView* list : {Form().singleProperties, Form().batchProperties}) {
    EXPECT_EQ(list->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("概要情報"));
    EXPECT_EQ(list->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("値"));
    ASSERT_EQ(list->rowCount(), 14);
    for (int row = 0; row < 14; ++row) {
      EXPECT_EQ(list->item(row, 0)->text(), QString::fromUtf8(kCaptions.at(static_cast<std::size_t>(row))));
      EXPECT_EQ(list->rowHeight(row), 20);
    }
    EXPECT_EQ(list->columnWidth(0), 160);
  }
  EXPECT_EQ(Form().singleProperties->Values(), (std::array<std::string, 14>{}));
  EXPECT_EQ(Form().fileList->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("ファイル名前"));
}

TEST_F(StartupTest, StartsOnTheSingleTabWithWhatNeedsAFileDisabled) {
  EXPECT_EQ(Form().tabs->currentIndex(), 0);
  EXPECT_EQ(Form().Files().rowCount(), 0);
  EXPECT_EQ(EnabledControls(Form()), QStringLiteral("addFilesButton addFolderButton fileTimesGroup attributesGroup"));
  EXPECT_TRUE(Form().singleBackupBox->isChecked());
  for (const QWidget* editor : {static_cast<QWidget*>(Form().editors->textEditor), Form().editors->dateTimeEditor,
                                Form().editors->numberEditor}) {
    EXPECT_TRUE(editor->isHidden());
  }
}

TEST_F(StartupTest, AtTheFirstStartTheBatchTabShowsTheDefaults) {
  const QString now = QString::fromStdString(time::FormatDateTimeText(CurrentLocalDateTime()));
  PropertyListView& list = *Form().batchProperties;
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
  for (QCheckBox* box : {Form().batchCreationDateBox, Form().batchCreationTimeBox, Form().batchLastWriteDateBox,
                         Form().batchLastWriteTimeBox, Form().batchLastAccessDateBox, Form().batchLastAccessTimeBox}) {
    EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
  }
  for (const QDateEdit* date : {Form().batchCreationDate, Form().batchLastWriteDate, Form().batchLastAccessDate}) {
    EXPECT_TRUE(date->isEnabled());
    EXPECT_EQ(date->date(), QDate::currentDate());
  }
  for (QCheckBox* box :
       {Form().batchReadOnlyBox, Form().batchArchiveBox, Form().batchHiddenBox, Form().batchSystemBox}) {
    EXPECT_EQ(box->checkState(), Qt::PartiallyChecked);
  }
  EXPECT_FALSE(Form().batchBackupBox->isChecked());
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
  ProgramWindows forms(dialogs);
  MainWindow& form = forms.mainWindow;
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.batchProperties->Value(0), QStringLiteral("共通タイトル"));
  EXPECT_TRUE(form.batchProperties->Included(0));
  EXPECT_FALSE(form.batchProperties->Included(1));
  EXPECT_EQ(form.batchProperties->Value(6), QStringLiteral("7"));
  EXPECT_EQ(form.batchProperties->Value(10), QStringLiteral("2021/04/01 9:30:00"));
  EXPECT_TRUE(form.batchCreationDateBox->isChecked());
  EXPECT_FALSE(form.batchCreationTimeBox->isChecked());
  EXPECT_FALSE(form.batchCreationTime->isEnabled());
  EXPECT_TRUE(form.batchCreationDate->isEnabled());
  EXPECT_EQ(form.batchCreationDate->date(), QDate(2021, 4, 1));
  EXPECT_EQ(form.batchLastWriteTime->time(), QTime(6, 0));
  EXPECT_FALSE(form.batchLastAccessDateBox->isChecked());
  EXPECT_FALSE(form.batchLastAccessDate->isEnabled());
  EXPECT_EQ(form.batchReadOnlyBox->checkState(), Qt::Checked);
  EXPECT_EQ(form.batchArchiveBox->checkState(), Qt::PartiallyChecked);
  EXPECT_EQ(form.batchHiddenBox->checkState(), Qt::Unchecked);
  EXPECT_TRUE(form.batchBackupBox->isChecked());
}

TEST_F(StartupTest, TheWindowAsksForMsPGothicAndGetsIpaPGothic) {
  EXPECT_EQ(Form().font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
  EXPECT_EQ(Form().font().pixelSize(), 12);
  EXPECT_EQ(Form().fileTools->font().pixelSize(), 11);
  if (!QFontDatabase::families().contains(QStringLiteral("IPAPGothic"))) {
    GTEST_SKIP() << "IPAPGothic is not installed (Debian package fonts-ipafont-gothic)";
  }
  EXPECT_EQ(QFontInfo(Form().font()).family(), QStringLiteral("IPAPGothic"));
}

TEST_F(StartupTest, TheValueColumnFollowsTheListWidth) {
  for (PropertyListView* list : {Form().singleProperties, Form().batchProperties}) {
    // A hidden list is told its size only when shown.
    Form().tabs->setCurrentIndex(list == Form().singleProperties ? 0 : 1);
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
    Form().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
    AddByDialog({CopyOf("lo-ascii-full.doc")});
    ClickValue(0);
    ASSERT_FALSE(Form().editors->textEditor->isHidden());
    if (auto* action = Form().findChild<QAction*>(QString::fromLatin1(exit))) {
      action->trigger();
    } else {
      Form().findChild<QPushButton*>(QString::fromLatin1(exit))->click();
    }
    EXPECT_FALSE(Form().isVisible()) << exit;
  }
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_TRUE(dialogs_.modalTitles.empty());
}

}  // namespace
}  // namespace kestrel::app::test
