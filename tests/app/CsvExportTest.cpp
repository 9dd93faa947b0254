// "CSV出力" on both tabs: the save dialog with its filter, default extension and question before
// replacing a file; the batch export under its progress dialog, compared byte for byte with what
// the CSV service writes for the same documents; cancelling; the single export; the message when
// the file cannot be written.
#include <QStatusBar>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "app/FileListModel.h"
#include "app/FileListView.h"
#include "app/dialogs/CsvExportDialog.h"
#include "catalogue/PropertyRows.h"
#include "export/CsvDocumentLine.h"
#include "export/CsvLines.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/app/ProgressWatch.h"
#include "worddoc/BinaryChange.h"

namespace kestrel::app::test {
namespace {

namespace stdfs = std::filesystem;

const QString kCannotSave = QStringLiteral("を保存できません、このファイルを開いている他のアプリケーションを終了してください。");

class CsvExportTest : public MainWindowFixture {
 protected:
  CsvExportDialog& Progress() { return Windows().csvExport; }
  QString Target(const std::string& name) { return QString::fromStdString((dir_.Path() / name).string()); }
  void ExportAll(const std::optional<QString>& answer) {
    dialogs_.saveAnswers.push_back(answer);
    QTest::mouseClick(View().exportAllButton, Qt::LeftButton);
  }
  void ExportSelected(const QString& answer) {
    dialogs_.saveAnswers.push_back(answer);
    QTest::mouseClick(View().exportSelectedButton, Qt::LeftButton);
  }

  // The file the CSV service writes for these documents: the header, then their lines.
  std::vector<std::uint8_t> ServiceOutput(const QStringList& documents) {
    std::vector<std::string> lines{csv::CsvHeaderLine()};
    ooxml::PackageProperties packages;
    for (const QString& document : documents) csv::AppendDocumentLine(packages, document.toStdString(), document.toStdString(), lines);
    const stdfs::path expected = dir_.Path() / "expected" / "service.csv";
    stdfs::create_directories(expected.parent_path());
    EXPECT_TRUE(csv::WriteCsvLines(expected.string(), lines));
    return kestrel::test::ReadBytes(expected);
  }
};

TEST_F(CsvExportTest, TheBatchExportWritesWhatTheCsvServiceWrites) {
  const QString missing = CopyOf("lo-ascii-full.doc", "missing.doc");
  const QStringList documents = {CopyOf("lo-ja-full.doc"), CopyOf("lo-ascii-noprint-multiline.docx"),
                                 CopyOf("x.doc"), CopyOf("truncated.docx"), missing};
  AddByDialog(documents);
  stdfs::remove(missing.toStdString());
  SelectFile(3);
  ASSERT_EQ(StatusOf(3), FileStatus::ReadError);
  ProgressWatch watch(Progress());
  ExportAll(Target("export"));  // no extension typed: ".CSV" is added

  EXPECT_EQ(dialogs_.saveFilters, std::vector<QString>{QStringLiteral("CSV File|*.CSV")});
  EXPECT_EQ(dialogs_.modalTitles, std::vector<QString>{QStringLiteral("CSVを出力中...")});
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_TRUE(dialogs_.questions.empty());
  EXPECT_EQ(watch.Documents(), documents);
  EXPECT_EQ(watch.Percentages(), (QStringList{"0%", "20%", "40%", "60%", "80%", "100%"}));
  EXPECT_FALSE(Progress().isVisible());
  EXPECT_EQ(Progress().progressBar->value(), 100);
  const stdfs::path written = dir_.Path() / "export.CSV";
  ASSERT_TRUE(stdfs::exists(written));
  EXPECT_EQ(kestrel::test::ReadBytes(written), ServiceOutput(documents));
  // The export resets the icons and sets none; then the first file is selected and read again.
  EXPECT_EQ(SelectedFile(), 0);
  for (int row = 0; row < 5; ++row) EXPECT_EQ(StatusOf(row), FileStatus::NotChanged) << row;
  // The package that cannot be read got no line, and the status bar says so and why.
  const QString said = View().statusLine->currentMessage();
  EXPECT_TRUE(said.startsWith(QStringLiteral(
      "CSV出力: 4 件を出力しました。0 文字を「?」に置き換えました。1 件は出力していません。読み込めませんでした: ")))
      << said.toStdString();
}

TEST_F(CsvExportTest, ACancelledExportWritesNothing) {
  const QStringList documents = {CopyOf("lo-ja-full.doc"), CopyOf("lo-ja-full.docx"), CopyOf("lo-ascii-full.doc")};
  AddByDialog(documents);
  for (const bool existing : {false, true}) {
    SCOPED_TRACE(existing);
    const QString target = Target(existing ? "old.CSV" : "new.CSV");
    const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
    if (existing) {
      kestrel::test::WriteBytes(target.toStdString(), old);
      dialogs_.yesNoAnswers.push_back(true);
    }
    ProgressWatch watch(Progress());
    watch.CancelAt(documents[1]);
    ExportAll(target);
    EXPECT_EQ(watch.Documents(), (QStringList{documents[0], documents[1]}));
    EXPECT_EQ(Progress().percentLabel->text(), QStringLiteral("67%"));
    EXPECT_EQ(Progress().progressBar->value(), 100);
    EXPECT_FALSE(Progress().Cancelled());
    EXPECT_FALSE(Progress().isVisible());
    EXPECT_EQ(View().statusLine->currentMessage(), QStringLiteral("CSV出力: キャンセルしました"));
    if (existing) {
      EXPECT_EQ(kestrel::test::ReadBytes(target.toStdString()), old);
    } else {
      EXPECT_FALSE(stdfs::exists(target.toStdString()));
    }
    // No temporary file is left beside the target either.
    EXPECT_EQ(std::distance(stdfs::directory_iterator(dir_.Path()), stdfs::directory_iterator()),
              static_cast<std::ptrdiff_t>(documents.size()) + (existing ? 1 : 0));
  }
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(CsvExportTest, AnExistingFileIsReplacedOnlyWhenTheUserAgrees) {
  const QString document = CopyOf("lo-ja-full.doc");
  AddByDialog({document});
  Window().Files().SetStatus(0, FileStatus::Changed);
  const QString target = Target("list.csv");
  const std::vector<std::uint8_t> old = {'k', 'e', 'e', 'p'};
  kestrel::test::WriteBytes(target.toStdString(), old);

  // No: the save dialog comes back; cancelling it ends the command with nothing done.
  dialogs_.yesNoAnswers.push_back(false);
  dialogs_.saveAnswers.push_back(target);
  ExportAll(std::nullopt);
  ASSERT_EQ(dialogs_.questions.size(), 1U);
  EXPECT_EQ(dialogs_.questions[0].text, QStringLiteral("list.csv は既に存在します。\n上書きしますか?"));
  EXPECT_EQ(dialogs_.questions[0].title, QStringLiteral("名前を付けて保存の確認"));
  EXPECT_EQ(dialogs_.saveFilters.size(), 2U);
  EXPECT_TRUE(dialogs_.modalTitles.empty());
  EXPECT_EQ(kestrel::test::ReadBytes(target.toStdString()), old);
  EXPECT_EQ(StatusOf(0), FileStatus::Changed) << "a cancelled dialog resets no icon";

  // Yes: the file is replaced.
  dialogs_.yesNoAnswers.push_back(true);
  ExportAll(target);
  EXPECT_EQ(kestrel::test::ReadBytes(target.toStdString()), ServiceOutput({document}));
  // A name with an extension of its own keeps it; a typed name without one gets ".CSV".
  EXPECT_FALSE(stdfs::exists(dir_.Path() / "list.csv.CSV"));
}

TEST_F(CsvExportTest, AFileThatCannotBeWrittenIsNamedInTheMessage) {
  AddByDialog({CopyOf("lo-ja-full.doc")});
  const QString unwritable = Target("no such folder/list.CSV");
  ExportAll(unwritable);
  ASSERT_EQ(dialogs_.messages.size(), 1U);
  EXPECT_EQ(dialogs_.messages[0].text, unwritable + u'\n' + kCannotSave);
  EXPECT_EQ(dialogs_.messages[0].title, QStringLiteral("Kestrelpad"));
  EXPECT_FALSE(Progress().isVisible());

  // A folder of that name cannot be replaced by a file.
  const QString folder = Target("folder.CSV");
  stdfs::create_directory(folder.toStdString());
  dialogs_.yesNoAnswers.push_back(true);
  ExportSelected(folder);
  ASSERT_EQ(dialogs_.messages.size(), 2U);
  EXPECT_EQ(dialogs_.messages[1].text, folder + u'\n' + kCannotSave);
  EXPECT_TRUE(stdfs::is_directory(folder.toStdString()));
}

TEST_F(CsvExportTest, TheSingleExportWritesTheSelectedDocumentWithoutADialog) {
  const QStringList documents = {CopyOf("lo-ja-full.docx"), CopyOf("lo-ascii-full.doc"), CopyOf("truncated.docx")};
  AddByDialog(documents);
  Window().Files().SetStatus(0, FileStatus::ChangeError);
  SelectFile(1);
  ExportSelected(Target("one"));
  EXPECT_EQ(kestrel::test::ReadBytes(dir_.Path() / "one.CSV"), ServiceOutput({documents[1]}));
  EXPECT_TRUE(dialogs_.modalTitles.empty());
  EXPECT_EQ(StatusOf(0), FileStatus::ChangeError) << "the single export sets no icon";
  EXPECT_EQ(SelectedFile(), 1);

  EXPECT_EQ(View().statusLine->currentMessage(),
            QStringLiteral("CSV出力: 1 件を出力しました。0 文字を「?」に置き換えました"));

  // A package that cannot be read is not shown, so it cannot be exported alone.
  SelectFile(2);
  EXPECT_FALSE(View().exportSelectedButton->isEnabled());

  // With no file selected nothing is asked.
  View().fileList->clearSelection();
  Window().ExportSelectedFile();
  EXPECT_EQ(dialogs_.saveFilters.size(), 1U);
}

// Characters code page 932 has nothing like are counted in the status bar, by both exports.
TEST_F(CsvExportTest, TheStatusBarCountsTheCharactersWrittenAsQuestionMarks) {
  const QStringList documents = {CopyOf("lo-ascii-full.doc", "hebrew.doc"), CopyOf("lo-ja-full.docx", "marks.docx")};
  catalogue::PropertyRows title;
  title.values.at(catalogue::kTitle) = "\u05E9\u05DC\u05D5\u05DD \U0001F600 \u301C\u2212\u00E9";  // five become "?", three a look-alike
  title.included.at(catalogue::kTitle) = true;
  ASSERT_TRUE(worddoc::ChangeBinaryProperties(documents[0].toStdString(), title));
  AddByDialog(documents);

  SelectFile(0);
  ExportSelected(Target("one.CSV"));
  EXPECT_EQ(View().statusLine->currentMessage(),
            QStringLiteral("CSV出力: 1 件を出力しました。5 文字を「?」に置き換えました"));

  ExportAll(Target("all.CSV"));
  EXPECT_EQ(View().statusLine->currentMessage(),
            QStringLiteral("CSV出力: 2 件を出力しました。5 文字を「?」に置き換えました"));
  EXPECT_EQ(kestrel::test::ReadBytes(dir_.Path() / "all.CSV"), ServiceOutput(documents));
}

TEST_F(CsvExportTest, WithNoFileListedTheBatchExportAsksForFiles) {
  Window().ExportAllFiles();
  ASSERT_EQ(dialogs_.messages.size(), 1U);
  EXPECT_EQ(dialogs_.messages[0].text, QStringLiteral("プロパティをCSVに出力するファイルを選択してください。"));
  EXPECT_TRUE(dialogs_.saveFilters.empty());
  EXPECT_TRUE(dialogs_.modalTitles.empty());
}

}  // namespace
}  // namespace kestrel::app::test
