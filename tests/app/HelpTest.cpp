// Help, hints and about: what each help command opens, and the texts of the hint window and the
// about box.
#include <unistd.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/InPlaceEditors.h"
#include "app/PropertyListView.h"
#include "tests/app/MainWindowFixture.h"

namespace kestrel::app::test {
namespace {

using HelpTest = MainWindowFixture;

QStringList TextsOf(QWidget& window) {
  QStringList texts;
  for (const QLabel* label : window.findChildren<QLabel*>()) {
    if (!label->text().isEmpty()) texts << label->text();
  }
  for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) texts << button->text();
  for (const QGroupBox* group : window.findChildren<QGroupBox*>()) texts << group->title();
  return texts;
}

TEST_F(HelpTest, TheHelpMenuOpensTheHelpPageBesideTheExecutableWhateverTheCurrentFolder) {
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir_.Path());
  View().helpAction->trigger();
  std::filesystem::current_path(previous);
  ASSERT_EQ(dialogs_.opened.size(), 1U);
  EXPECT_EQ(dialogs_.opened[0], QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/Help.html")));
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

TEST_F(HelpTest, TheHintWindowExplainsTheWindowTheIconsAndTheBoxes) {
  HintsDialog& hints = Windows().hints;
  EXPECT_EQ(hints.size(), QSize(635, 521));
  EXPECT_EQ(hints.palette().color(QPalette::Window), QColor(Qt::white));
  const QStringList texts = TextsOf(hints);
  for (const char* text :
       {"変更する前に、変更したいファイルを開いている他のアプリケーションを終了してください", "変更したいファイルを選択する",
        "ファイルを追加する：一度に複数のファイルを選択することができます。",
        "システムファイルや「隠し」を設定されたファイルは表示されない場合がありますので、ご注意ください。",
        "フォルダからファイルを追加する：フォルダを選択すれば、フォルダ内のすべてのファイルは「ファイル一覧」に",
        "追加されます、隠されているファイルやシステムファイルもかまいません。", "各ファイルには3つの状態があります。",
        "変更していないファイル", "エラーや他のプログラムで開かれているため、ファイルの情報を得ることができません",
        "変更完了", "エラーや他のプログラムで開かれているため、変更することができませんでした",
        "ファイル属性を変更するオプション", "ファイル日時", "日付や時刻を変更", "元の日付や時刻を保持する", "ファイル属性",
        "属性を変更しません", "属性オン", "属性オフ", "概要情報：", "値をクリックして、値を編集する", "概要情報を変更する",
        "元の概要情報を保持する", "バックアップオプション", "変更する前に、元のファイルを同じフォルダにバックアップする",
        "このオプションをオンする場合、元のファイルは自動的に同じフォルダにバックアップする。", "終了"}) {
    EXPECT_TRUE(texts.contains(QString::fromUtf8(text))) << text;
  }
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

TEST_F(HelpTest, TheAboutBoxShowsTheTitleTheVersionAndTwoLinks) {
  AboutDialog& about = Windows().about;
  EXPECT_EQ(about.size(), QSize(402, 205));
  EXPECT_EQ(about.productName->text(), QStringLiteral("Kestrelpad"));
  EXPECT_EQ(about.version->text(), QStringLiteral("バージョン: 3.16"));
  const QStringList texts = TextsOf(about);
  EXPECT_TRUE(texts.contains(QStringLiteral("メールアドレス：")));
  EXPECT_TRUE(texts.contains(QStringLiteral("ホームページ：")));
  EXPECT_TRUE(about.okButton->isDefault());
  EXPECT_EQ(about.okButton->text(), QStringLiteral("終了"));
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
