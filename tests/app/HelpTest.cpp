// Help, hints and about: what each help command opens, the hint window's sample boxes, and the
// about box's version and links.
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTest>

#include "app/InPlaceEditors.h"
#include "app/PropertyListView.h"
#include "app/dialogs/HelpWindow.h"
#include "tests/app/MainWindowFixture.h"

namespace kestrel::app::test {
namespace {

using HelpTest = MainWindowFixture;

TEST_F(HelpTest, TheHelpMenuOpensTheHelpPageBesideTheExecutableWhateverTheCurrentFolder) {
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir_.Path());
  View().helpAction->trigger();
  std::filesystem::current_path(previous);
  ASSERT_EQ(dialogs_.opened.size(), 1U);
  EXPECT_EQ(dialogs_.opened[0], QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/Help.html")));
}

TEST_F(HelpTest, F1ShowsTheHelpPageInAWindowOfItsOwnWhereTheDesktopCannotOpenIt) {
  dialogs_.handlerOpens = false;
  Window().activateWindow();
  QTest::keyClick(&Window(), Qt::Key_F1);
  const auto* help = Window().findChild<HelpWindow*>(QStringLiteral("helpWindow"));
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->isVisible());
  EXPECT_EQ(help->browser->source(), dialogs_.opened.at(0));
}

// Every command of the window is in a menu with its Alt letter, and no two share a key.
TEST_F(HelpTest, EveryMenuItemHasItsLetterAndNoKeyServesTwo) {
  QStringList keys;
  for (const QAction* menu : Window().menuBar()->actions()) {
    for (const QAction* item : menu->menu()->actions()) {
      if (item->isSeparator()) continue;
      EXPECT_TRUE(item->text().contains(QStringLiteral("(&"))) << item->text().toStdString();
      if (!item->shortcut().isEmpty()) keys << item->shortcut().toString();
    }
  }
  const int count = static_cast<int>(keys.size());
  keys.removeDuplicates();
  EXPECT_EQ(keys.size(), count) << keys.join(u' ').toStdString();
  for (const char* name : {"changeSelectedAction", "changeAllAction", "exportSelectedAction", "exportAllAction",
                           "savePresetAction", "loadPresetAction", "importFromSelectedAction"}) {
    const auto* action = Window().findChild<QAction*>(QString::fromLatin1(name));
    ASSERT_NE(action, nullptr) << name;
    EXPECT_FALSE(action->shortcut().isEmpty()) << name;
  }
}

TEST_F(HelpTest, CtrlTabAndCtrlPageKeysSwitchTabsFromAnywhere) {
  Window().activateWindow();
  View().singleProperties->setFocus();
  QTest::keyClick(View().singleProperties, Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(View().tabs->currentIndex(), 1);
  QTest::keyClick(View().batchProperties, Qt::Key_PageUp, Qt::ControlModifier);
  EXPECT_EQ(View().tabs->currentIndex(), 0);
  QTest::keyClick(View().singleProperties, Qt::Key_PageUp, Qt::ControlModifier);
  EXPECT_EQ(View().tabs->currentIndex(), 1);
}

TEST(HelpPage, LiesBesideTheProgram) {
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::path(KESTREL_APP_DIR) / "Help.html"));
}

TEST_F(HelpTest, TheMakersPagesAndMailOpenWithTheDefaultHandler) {
  View().onlineHelpAction->trigger();
  View().homePageAction->trigger();
  View().emailSupportAction->trigger();
  ASSERT_EQ(dialogs_.opened.size(), 3U);
  EXPECT_EQ(dialogs_.opened[0].toString(), QStringLiteral("https://www.norvale.example/kestrelpad/help/"));
  EXPECT_EQ(dialogs_.opened[1].toString(), QStringLiteral("https://www.norvale.example/"));
  EXPECT_EQ(dialogs_.opened[2].toString(), QStringLiteral("mailto:support@norvale.example?subject=Kestrelpad"));
}

TEST_F(HelpTest, BothHintButtonsAndTheMenuShowTheHintWindowModally) {
  QTest::mouseClick(View().singleHintsButton, Qt::LeftButton);
  View().tabs->setCurrentIndex(1);
  QTest::mouseClick(View().batchHintsButton, Qt::LeftButton);
  View().hintsAction->trigger();
  EXPECT_EQ(dialogs_.modalTitles, (std::vector<QString>(3, QStringLiteral("ヘルプヒント"))));
  View().aboutAction->trigger();
  EXPECT_EQ(dialogs_.modalTitles.back(), QStringLiteral("バージョン情報"));
}

TEST_F(HelpTest, TheHintMenuClosesAnOpenEditorFirst) {
  AddByDialog({CopyOf("lo-ascii-full.doc")});
  ClickValue(3);
  View().editors->textEditor->setText(QStringLiteral("kept"));
  View().hintsAction->trigger();
  EXPECT_TRUE(View().editors->textEditor->isHidden());
  EXPECT_EQ(Value(3), QStringLiteral("kept"));
}

TEST_F(HelpTest, TheHintWindowShowsItsSamplesUnchangeableAndCloses) {
  HintsDialog& hints = Windows().hints;
  // The sample boxes show their states and cannot be changed.
  const auto box = [&hints](const char* text) {
    for (QCheckBox* candidate : hints.findChildren<QCheckBox*>()) {
      if (candidate->text() == QString::fromUtf8(text)) return candidate;
    }
    throw std::runtime_error(std::string("no box ") + text);
  };
  EXPECT_EQ(box("属性を変更しません")->checkState(), Qt::PartiallyChecked);
  EXPECT_EQ(box("属性オン")->checkState(), Qt::Checked);
  EXPECT_EQ(box("属性オフ")->checkState(), Qt::Unchecked);
  EXPECT_FALSE(box("属性オン")->isEnabled());
  EXPECT_FALSE(box("変更する前に、元のファイルを同じフォルダにバックアップする")->isEnabled());
  // Four legend icons, the one of "not changed" included.
  int icons = 0;
  for (const QLabel* label : hints.findChildren<QLabel*>()) {
    if (!label->pixmap().isNull() && !label->isHidden()) ++icons;
  }
  EXPECT_EQ(icons, 4);
  QTest::mouseClick(hints.closeButton, Qt::LeftButton);
  EXPECT_EQ(hints.result(), QDialog::Accepted);
}

TEST_F(HelpTest, TheAboutBoxShowsThePackagesVersionAndTwoLinks) {
  AboutDialog& about = Windows().about;
  EXPECT_TRUE(about.version->text().endsWith(QStringLiteral(" " KESTREL_VERSION))) << about.version->text().toStdString();
  EXPECT_TRUE(about.okButton->isDefault());
  for (QLabel* link : {about.supportLink, about.homePageLink}) {
    EXPECT_TRUE(link->font().underline());
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
  }
  QTest::mouseClick(about.supportLink, Qt::LeftButton);
  QTest::mouseClick(about.homePageLink, Qt::LeftButton);
  ASSERT_EQ(dialogs_.opened.size(), 2U);
  EXPECT_EQ(dialogs_.opened[0].toString(), QStringLiteral("mailto:support@norvale.example?subject=Kestrelpad"));
  EXPECT_EQ(dialogs_.opened[1].toString(), QStringLiteral("https://www.norvale.example/"));
}

}  // namespace
}  // namespace kestrel::app::test
