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
  EXPECT_EQ(Forms().form4.windowTitle(), QStringLiteral("ヘルプヒント"));
  EXPECT_EQ(Forms().form5.windowTitle(), QStringLiteral("バージョン情報"));
  EXPECT_EQ(Forms().form7.windowTitle(), QStringLiteral("変更中..."));
  EXPECT_EQ(Forms().form9.windowTitle(), QStringLiteral("CSVを出力中..."));
  // Only the main window is shown at start-up; the others wait to be shown modally.
  for (const QDialog* dialog : std::initializer_list<const QDialog*>{&Forms().form4, &Forms().form5, &Forms().form7,
                                                                     &Forms().form9}) {
    EXPECT_FALSE(dialog->isVisible()) << dialog->windowTitle().toStdString();
    EXPECT_TRUE(dialog->isModal()) << dialog->windowTitle().toStdString();
  }
}

TEST_F(StartupTest, MenusAndToolsCarryTheirCaptions) {
  const QList<QAction*> menus = Form().MainMenu1->actions();
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
  EXPECT_EQ(Form().PopupMenu1->actions(),
            (QList<QAction*>{Form().AddFiles1, Form().AddFilesfromfloder1, Form().Remove1, Form().RemoveAll1}));
  const std::vector<std::pair<QAction*, QKeySequence>> shortcuts = {
      {Form().AddFiles1, QKeySequence(QStringLiteral("Ctrl+O"))},
      {Form().AddFilesfromfloder1, QKeySequence(QStringLiteral("Ctrl+Shift+O"))},
      {Form().Remove1, QKeySequence(QStringLiteral("Del"))},
      {Form().help2, QKeySequence(QStringLiteral("F1"))},
      {Form().Exit1, QKeySequence(QStringLiteral("Ctrl+Q"))}};
  for (const auto& [action, keys] : shortcuts) EXPECT_EQ(action->shortcut(), keys) << action->text().toStdString();
  EXPECT_EQ(Form().ToolButton1->text(), QStringLiteral("ファイル追加"));
  EXPECT_EQ(Form().ToolButton5->text(), QStringLiteral("フォルダからファイル追加"));
  EXPECT_EQ(Form().ToolButton2->text(), QStringLiteral("削除"));
  EXPECT_EQ(Form().ToolButton3->text(), QStringLiteral("全て削除"));
  EXPECT_EQ(Form().ToolButton9->text(), QStringLiteral("既定保存"));
  EXPECT_EQ(Form().ToolButton10->text(), QStringLiteral("既定のインポート"));
  EXPECT_EQ(Form().ToolButton12->text(), QStringLiteral("選択したファイルからインポート"));
  // Tool buttons never take the focus; that is why their commands close the editors themselves.
  for (const QToolButton* tool : {Form().ToolButton1, Form().ToolButton5, Form().ToolButton2, Form().ToolButton3,
                                  Form().ToolButton9, Form().ToolButton10, Form().ToolButton12}) {
    EXPECT_EQ(tool->focusPolicy(), Qt::NoFocus) << tool->objectName().toStdString();
  }
}

TEST_F(StartupTest, TabsGroupsBoxesAndButtonsCarryTheirCaptions) {
  EXPECT_EQ(Form().PageControl1->tabText(0), QStringLiteral("単一変更"));
  EXPECT_EQ(Form().PageControl1->tabText(1), QStringLiteral("一括変更"));
  EXPECT_EQ(Form().PageControl1->widget(0), Form().TabSheet2);
  for (const QGroupBox* group : {Form().GroupBox3, Form().GroupBox5}) EXPECT_EQ(group->title(), QStringLiteral("ファイル日時"));
  for (const QGroupBox* group : {Form().GroupBox1, Form().GroupBox2}) EXPECT_EQ(group->title(), QStringLiteral("ファイル属性"));
  for (QGroupBox* group : {Form().GroupBox3, Form().GroupBox5}) {
    QStringList labels;
    for (const QLabel* label : group->findChildren<QLabel*>()) labels << label->text();
    EXPECT_EQ(labels, (QStringList{QStringLiteral("作成日時："), QStringLiteral("更新時間："), QStringLiteral("アクセス日時：")}));
  }
  const QString backup = QStringLiteral("変更する前に、元のファイルを同じフォルダにバックアップする");
  EXPECT_EQ(Form().CheckBox5->text(), backup);
  EXPECT_EQ(Form().CheckBox4->text(), backup);
  const std::array<std::pair<QCheckBox*, const char*>, 8> boxes = {{{Form().CheckBox16, "読み取り専用"},
                                                                    {Form().CheckBox17, "アーカイブ"},
                                                                    {Form().CheckBox18, "隠し"},
                                                                    {Form().CheckBox23, "システム"},
                                                                    {Form().CheckBox1, "読み取り専用"},
                                                                    {Form().CheckBox2, "アーカイブ"},
                                                                    {Form().CheckBox3, "隠し"},
                                                                    {Form().CheckBox8, "システム"}}};
  for (const auto& [box, caption] : boxes) {
    EXPECT_EQ(box->text(), QString::fromUtf8(caption));
    EXPECT_TRUE(box->isTristate());
    EXPECT_EQ(box->checkState(), Qt::PartiallyChecked) << caption;
  }
  const std::array<std::pair<QPushButton*, const char*>, 8> buttons = {
      {{Form().BitBtn6, "変更"}, {Form().BitBtn9, "CSV出力"}, {Form().BitBtn5, "ヒント"}, {Form().BitBtn7, "終了"},
       {Form().BitBtn2, "変更"}, {Form().BitBtn8, "CSV出力"}, {Form().BitBtn3, "ヒント"}, {Form().BitBtn4, "終了"}}};
  for (const auto& [button, caption] : buttons) EXPECT_EQ(button->text(), QString::fromUtf8(caption));
  EXPECT_EQ(Form().editors->CheckBox15->text(), QStringLiteral("消す"));
  EXPECT_EQ(Form().editors->CheckBox6->text(), QStringLiteral("消す"));
}

TEST_F(StartupTest, BothPropertyListsShowTheCatalogueRows) {
  for (PropertyListView* list : {Form().ListView3, Form().ListView2}) {
    EXPECT_EQ(list->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("概要情報"));
    EXPECT_EQ(list->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("値"));
    ASSERT_EQ(list->rowCount(), 14);
    for (int row = 0; row < 14; ++row) {
      EXPECT_EQ(list->item(row, 0)->text(), QString::fromUtf8(kCaptions.at(static_cast<std::size_t>(row))));
      EXPECT_EQ(list->rowHeight(row), 20);
    }
    EXPECT_EQ(list->columnWidth(0), 160);
  }
  EXPECT_EQ(Form().ListView3->Values(), (std::array<std::string, 14>{}));
  EXPECT_EQ(Form().ListView1->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("ファイル名前"));
}

TEST_F(StartupTest, StartsOnTheSingleTabWithWhatNeedsAFileDisabled) {
  EXPECT_EQ(Form().PageControl1->currentIndex(), 0);
  EXPECT_EQ(Form().Files().rowCount(), 0);
  EXPECT_EQ(EnabledControls(Form()), QStringLiteral("ToolButton1 ToolButton5 GroupBox3 GroupBox1"));
  EXPECT_TRUE(Form().CheckBox5->isChecked());
  for (const QWidget* editor : {static_cast<QWidget*>(Form().editors->Edit1), Form().editors->Panel3,
                                Form().editors->Panel5}) {
    EXPECT_TRUE(editor->isHidden());
  }
}

TEST_F(StartupTest, AtTheFirstStartTheBatchTabShowsTheDefaults) {
  const QString now = QString::fromStdString(time::FormatDateTimeText(CurrentLocalDateTime()));
  PropertyListView& list = *Form().ListView2;
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
  for (QCheckBox* box : {Form().CheckBox9, Form().CheckBox10, Form().CheckBox11, Form().CheckBox12, Form().CheckBox13,
                         Form().CheckBox14}) {
    EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
  }
  for (const QDateEdit* date : {Form().DateTimePicker1, Form().DateTimePicker3, Form().DateTimePicker5}) {
    EXPECT_TRUE(date->isEnabled());
    EXPECT_EQ(date->date(), QDate::currentDate());
  }
  for (QCheckBox* box : {Form().CheckBox1, Form().CheckBox2, Form().CheckBox3, Form().CheckBox8}) {
    EXPECT_EQ(box->checkState(), Qt::PartiallyChecked);
  }
  EXPECT_FALSE(Form().CheckBox4->isChecked());
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
  ProgramForms forms(dialogs);
  TForm1& form = forms.form1;
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.ListView2->Value(0), QStringLiteral("共通タイトル"));
  EXPECT_TRUE(form.ListView2->Included(0));
  EXPECT_FALSE(form.ListView2->Included(1));
  EXPECT_EQ(form.ListView2->Value(6), QStringLiteral("7"));
  EXPECT_EQ(form.ListView2->Value(10), QStringLiteral("2021/04/01 9:30:00"));
  EXPECT_TRUE(form.CheckBox9->isChecked());
  EXPECT_FALSE(form.CheckBox10->isChecked());
  EXPECT_FALSE(form.DateTimePicker2->isEnabled());
  EXPECT_TRUE(form.DateTimePicker1->isEnabled());
  EXPECT_EQ(form.DateTimePicker1->date(), QDate(2021, 4, 1));
  EXPECT_EQ(form.DateTimePicker4->time(), QTime(6, 0));
  EXPECT_FALSE(form.CheckBox13->isChecked());
  EXPECT_FALSE(form.DateTimePicker5->isEnabled());
  EXPECT_EQ(form.CheckBox1->checkState(), Qt::Checked);
  EXPECT_EQ(form.CheckBox2->checkState(), Qt::PartiallyChecked);
  EXPECT_EQ(form.CheckBox3->checkState(), Qt::Unchecked);
  EXPECT_TRUE(form.CheckBox4->isChecked());
}

TEST_F(StartupTest, TheWindowAsksForMsPGothicAndGetsIpaPGothic) {
  EXPECT_EQ(Form().font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
  EXPECT_EQ(Form().font().pixelSize(), 12);
  EXPECT_EQ(Form().ToolBar2->font().pixelSize(), 11);
  if (!QFontDatabase::families().contains(QStringLiteral("IPAPGothic"))) {
    GTEST_SKIP() << "IPAPGothic is not installed (Debian package fonts-ipafont-gothic)";
  }
  EXPECT_EQ(QFontInfo(Form().font()).family(), QStringLiteral("IPAPGothic"));
}

TEST_F(StartupTest, TheValueColumnFollowsTheListWidth) {
  for (PropertyListView* list : {Form().ListView3, Form().ListView2}) {
    // A hidden list is told its size only when shown.
    Form().PageControl1->setCurrentIndex(list == Form().ListView3 ? 0 : 1);
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
  for (const char* exit : {"BitBtn7", "BitBtn4", "Exit1"}) {
    Form().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
    AddByDialog({CopyOf("lo-ascii-full.doc")});
    ClickValue(0);
    ASSERT_FALSE(Form().editors->Edit1->isHidden());
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
