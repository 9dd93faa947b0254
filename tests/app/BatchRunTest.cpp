// "変更" on the batch tab: the start checks and their messages, the run over every listed document
// under the progress dialog (icons, properties, times and attributes, read back by independent
// readers), backups, a failed backup, cancelling, the percentages, and what the window shows
// afterwards.
#include <cmath>
#include <map>
#include <sstream>

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

#include "app/FileListModel.h"
#include "app/FileListView.h"
#include "app/PropertyListView.h"
#include "app/dialogs/BatchChangeDialog.h"
#include "change/Backup.h"
#include "platform/fs/FileState.h"
#include "reading/DocumentReading.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/app/ProgressWatch.h"
#include "tests/support/DosAttribOracle.h"
#include "tests/support/FileSnapshot.h"
#include "tests/support/LocalClock.h"
#include "tests/support/LockHolder.h"
#include "tests/support/Oracles.h"

namespace kestrel::app::test {
namespace {

namespace stdfs = std::filesystem;
using kestrel::test::KernelTime;
using kestrel::test::WallClock;

constexpr std::uint32_t kShownBits =
    fs::kAttributeReadOnly | fs::kAttributeHidden | fs::kAttributeSystem | fs::kAttributeArchive;

// name -> text of a package's property elements, as Python's zipfile and ElementTree read them.
std::optional<std::map<std::string, std::string>> PackageProperties(const QString& file) {
  const auto python = kestrel::test::OlefilePython();
  if (!python) return std::nullopt;
  const kestrel::test::CommandResult result =
      kestrel::test::RunCommand("PYTHONIOENCODING=utf-8 " + *python + " " +
                                kestrel::test::ShellQuote(kestrel::test::TestScript("oracle/package_props.py").string()) +
                                " " + kestrel::test::ShellQuote(file.toStdString()));
  if (result.exitCode != 0) {
    ADD_FAILURE() << result.output;
    return std::nullopt;
  }
  std::map<std::string, std::string> properties;
  std::istringstream lines(result.output);
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) properties[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return properties;
}

// (section 0, pid) of a property set as olefile reads it; "missing" when absent.
std::string Property(const kestrel::test::PropertyDump& dump, std::uint32_t pid) {
  const auto found = dump.properties.find({0, pid});
  return found == dump.properties.end() ? "missing" : found->second;
}

class BatchRunTest : public MainWindowFixture {
 protected:
  BatchChangeDialog& Progress() { return Windows().batchChange; }
  PropertyListView& Batch() { return *View().batchProperties; }

  // Only what a test asks for: every time box clear, every attribute box grayed, no row checked.
  void AskForNothing() {
    for (QCheckBox* box :
         {View().batchCreationDateBox, View().batchCreationTimeBox, View().batchLastWriteDateBox,
          View().batchLastWriteTimeBox, View().batchLastAccessDateBox, View().batchLastAccessTimeBox}) {
      box->setChecked(false);
    }
    for (QCheckBox* box :
         {View().batchReadOnlyBox, View().batchArchiveBox, View().batchHiddenBox, View().batchSystemBox}) {
      box->setCheckState(Qt::PartiallyChecked);
    }
    for (int row = 0; row < 14; ++row) Batch().SetIncluded(row, false);
    View().batchBackupBox->setChecked(false);
  }
  void Include(int row, const QString& value) {
    Batch().SetValue(row, value);
    Batch().SetIncluded(row, true);
  }
  void Run() { QTest::mouseClick(View().changeAllButton, Qt::LeftButton); }

  // Copies of one document under names not used before.
  QStringList Copies(int count) {
    QStringList paths;
    for (int i = 0; i < count; ++i) paths << CopyOf("lo-ascii-full.doc", "doc" + std::to_string(++copies_) + ".doc");
    return paths;
  }
  std::vector<FileStatus> Statuses() {
    std::vector<FileStatus> statuses;
    for (int row = 0; row < Window().Files().rowCount(); ++row) statuses.push_back(StatusOf(row));
    return statuses;
  }
  static std::string Title(const QString& path) {
    ooxml::PackageProperties packages;
    const auto rows = reading::ReadDocumentRows(packages, path.toStdString());
    return rows ? rows->at(0) : std::string("(unreadable)");
  }

  int copies_ = 0;
};

TEST_F(BatchRunTest, WithNoFileListedTheRunAsksForFiles) {
  Window().ChangeAllFiles();
  ASSERT_EQ(dialogs_.messages.size(), 1U);
  EXPECT_EQ(dialogs_.messages[0].text, QStringLiteral("変更したいファイルを選択する!"));
  EXPECT_EQ(dialogs_.messages[0].title, QStringLiteral("Kestrelpad"));
  EXPECT_TRUE(dialogs_.modalTitles.empty());
}

TEST_F(BatchRunTest, SettingsThatAskForNothingStartNoRun) {
  const QString path = CopyOf("lo-ascii-full.doc");
  AddByDialog({path, CopyOf("truncated.docx")});
  SelectFile(1);
  ASSERT_EQ(StatusOf(1), FileStatus::ReadError);
  AskForNothing();
  // The backup option alone asks for nothing, and neither do values of unchecked rows.
  View().batchBackupBox->setChecked(true);
  Batch().SetValue(0, QStringLiteral("not asked for"));
  const kestrel::test::FileSnapshot before = kestrel::test::TakeFileSnapshot(path.toStdString());
  Run();
  ASSERT_EQ(dialogs_.messages.size(), 1U);
  EXPECT_EQ(dialogs_.messages[0].text,
            QStringLiteral("変更したいファイル属性を設定する.\n変更したいファイル属性を選択してください!"));
  EXPECT_TRUE(dialogs_.modalTitles.empty());
  EXPECT_EQ(StatusOf(1), FileStatus::ReadError);
  kestrel::test::ExpectUnchanged(before, kestrel::test::TakeFileSnapshot(path.toStdString()));
}

TEST_F(BatchRunTest, AnyOneBoxOrRowIsEnoughToStart) {
  const QString path = CopyOf("lo-ascii-full.doc");
  AddByDialog({path});
  const std::vector<std::function<void()>> askers = {
      [&] { View().batchLastAccessTimeBox->setChecked(true); },
      [&] { View().batchReadOnlyBox->setCheckState(Qt::Checked); },
      [&] { View().batchSystemBox->setCheckState(Qt::Unchecked); },
      [&] { Batch().SetIncluded(7, true); },
  };
  for (std::size_t i = 0; i < askers.size(); ++i) {
    AskForNothing();
    askers[i]();
    Run();
    EXPECT_EQ(dialogs_.modalTitles.size(), i + 1);
    EXPECT_EQ(StatusOf(0), FileStatus::Changed) << i;
  }
  EXPECT_EQ(dialogs_.modalTitles.back(), QStringLiteral("変更中..."));
  EXPECT_TRUE(dialogs_.messages.empty());
}

// Documents that change and documents that cannot, each read back afterwards by an independent
// reader: properties, the three times and the attribute bits.
TEST_F(BatchRunTest, EveryListedDocumentIsChangedOrMarkedWithTheChangeError) {
  const QString missing = CopyOf("lo-ascii-full.doc", "missing.doc");
  const QString goodDoc = CopyOf("lo-ascii-full.doc", "good.doc");
  const QString locked = CopyOf("lo-ja-full.doc", "locked.doc");
  const QString goodPackage = CopyOf("lo-ja-full.docx", "good.docx");
  const QString text = CopyOf("x.doc", "text.doc");
  const QString damaged = CopyOf("truncated.docx", "damaged.docx");
  const QString lastDoc = CopyOf("poi-ja-cp932.doc", "last.doc");
  AddByDialog({missing, goodDoc, locked, goodPackage, text, damaged, lastDoc});
  ASSERT_EQ(Window().Files().rowCount(), 7);
  stdfs::remove(missing.toStdString());
  const kestrel::test::LockHolder holder(locked.toStdString(), true);
  ASSERT_TRUE(holder.Holding());

  std::map<QString, kestrel::test::FileSnapshot> before;
  for (const QString& path : {goodDoc, locked, goodPackage, text, damaged, lastDoc}) {
    before[path] = kestrel::test::TakeFileSnapshot(path.toStdString());
  }
  const std::string companyOfLast = View().singleProperties->Value(9).toStdString();

  AskForNothing();
  Include(0, QStringLiteral("一括タイトル"));
  Include(2, QStringLiteral("一括作成者"));
  Include(12, QStringLiteral("45"));
  Include(13, QString());  // erased
  Batch().SetValue(9, QStringLiteral("written nowhere"));
  View().batchCreationDateBox->setChecked(true);
  View().batchCreationDate->setDate(QDate(2021, 4, 1));
  View().batchCreationTimeBox->setChecked(true);
  View().batchCreationTime->setTime(QTime(10, 20, 30));
  View().batchLastWriteDateBox->setChecked(true);
  View().batchLastWriteDate->setDate(QDate(2022, 5, 6));
  View().batchLastWriteTime->setTime(QTime(1, 2, 3));  // its box stays clear
  View().batchReadOnlyBox->setCheckState(Qt::Checked);
  View().batchArchiveBox->setCheckState(Qt::Unchecked);
  View().batchHiddenBox->setCheckState(Qt::Checked);
  // The single tab's backup box plays no part in the batch run.
  ASSERT_TRUE(View().singleBackupBox->isChecked());
  Run();

  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(dialogs_.modalTitles, std::vector<QString>{QStringLiteral("変更中...")});
  // The first document is read again after the run: missing, it now shows the read error.
  EXPECT_EQ(Statuses(), (std::vector<FileStatus>{FileStatus::ReadError, FileStatus::Changed, FileStatus::ChangeError,
                                                 FileStatus::Changed, FileStatus::ChangeError, FileStatus::ChangeError,
                                                 FileStatus::Changed}));
  EXPECT_EQ(SelectedFile(), 0);
  // What the run did, and why each document failed.
  EXPECT_EQ(View().statusLine->currentMessage(), QStringLiteral("一括変更: 変更 3 件、失敗 4 件、未処理 0 件"));
  const auto tooltip = [this](int row) { return ToolTipOf(row); };
  EXPECT_TRUE(tooltip(2).contains(QStringLiteral("\n変更できませんでした: 他のアプリケーションが開いています"))) << tooltip(2).toStdString();
  EXPECT_TRUE(tooltip(3).endsWith(QStringLiteral("\n変更しました"))) << tooltip(3).toStdString();
  EXPECT_TRUE(tooltip(5).contains(QStringLiteral("\n変更できませんでした: "))) << tooltip(5).toStdString();
  EXPECT_FALSE(Progress().isVisible());
  EXPECT_EQ(Progress().percentLabel->text(), QStringLiteral("100%"));
  EXPECT_EQ(Progress().progressBar->value(), 100);

  for (const QString& untouched : {locked, text, damaged}) {
    kestrel::test::ExpectUnchanged(before[untouched], kestrel::test::TakeFileSnapshot(untouched.toStdString()));
  }
  EXPECT_FALSE(stdfs::exists(missing.toStdString()));
  for (const QString& path : {goodDoc, locked, goodPackage, text, damaged, lastDoc}) {
    EXPECT_FALSE(stdfs::exists(change::BackupFileName(path.toStdString()))) << path.toStdString();
  }

  const KernelTime creation = kestrel::test::InstantOf(WallClock{2021, 4, 1, 10, 20, 30});
  for (const QString& path : {goodDoc, goodPackage, lastDoc}) {
    SCOPED_TRACE(path.toStdString());
    const kestrel::test::FileSnapshot after = kestrel::test::TakeFileSnapshot(path.toStdString());
    // The last-write date changes, its time of day stays; the access time is put back exactly.
    const WallClock oldWrite = kestrel::test::WallClockOf(before[path].lastWrite);
    const WallClock newWrite = kestrel::test::WallClockOf(after.lastWrite);
    EXPECT_EQ(newWrite, (WallClock{2022, 5, 6, oldWrite.hour, oldWrite.minute, oldWrite.second}));
    EXPECT_EQ(after.lastAccess, before[path].lastAccess);
    EXPECT_EQ(after.mode & 0222, 0U) << "read-only means no write bit";
    EXPECT_EQ(fs::ReadFileRecord(path.toStdString())->attributes & kShownBits,
              fs::kAttributeReadOnly | fs::kAttributeHidden);
    if (const auto blob = kestrel::test::ReadDosAttrib(path.toStdString())) {
      EXPECT_EQ(blob->attributes & (fs::kAttributeHidden | fs::kAttributeSystem | fs::kAttributeArchive),
                fs::kAttributeHidden);
      ASSERT_TRUE(blob->creation.has_value());
      EXPECT_EQ(*blob->creation, kestrel::test::FileTimeOf(creation));
    }
  }

  for (const QString& path : {goodDoc, lastDoc}) {
    SCOPED_TRACE(path.toStdString());
    const auto summary = kestrel::test::DumpPropertySet(path.toStdString(), "SummaryInformation");
    if (!summary) continue;  // olefile missing: said when first asked
    EXPECT_EQ(Property(*summary, 2), kestrel::test::DumpedText(30, "一括タイトル"));
    EXPECT_EQ(Property(*summary, 4), kestrel::test::DumpedText(30, "一括作成者"));
    EXPECT_EQ(Property(*summary, 10), "64 " + std::to_string(45ULL * 600'000'000ULL));
    EXPECT_EQ(Property(*summary, 11), "1 -");
  }
  if (const auto company = kestrel::test::DumpPropertySet(lastDoc.toStdString(), "DocumentSummaryInformation")) {
    EXPECT_EQ(Property(*company, 15), kestrel::test::DumpedText(30, companyOfLast));
  }
  if (const auto package = PackageProperties(goodPackage)) {
    EXPECT_EQ(package->at("testzip"), "None");
    EXPECT_EQ(package->at("dc:title"), "一括タイトル");
    EXPECT_EQ(package->at("dc:creator"), "一括作成者");
    EXPECT_EQ(package->at("ep:TotalTime"), "45");
    EXPECT_EQ(package->at("cp:lastPrinted"), "(none)");
    EXPECT_EQ(package->at("ep:Company"), "株式会社テスト");
  }
}

// No service speaks to the user: a package the ZIP component cannot decode fails with its reason
// in the file's tooltip and in the counts, with no dialog, and stays as it was.
TEST_F(BatchRunTest, AnEntryOfAnUnknownMethodFailsWithItsReasonAndNoDialog) {
  const QString good = CopyOf("lo-ascii-full.doc", "good.doc");
  const QString unknown = CopyWithUnknownMethod("lo-ascii-full.docx", "unknown.docx");
  AddByDialog({good, unknown});
  const kestrel::test::FileSnapshot before = kestrel::test::TakeFileSnapshot(unknown.toStdString());
  AskForNothing();
  Include(0, QStringLiteral("一括タイトル"));
  Run();
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(StatusOf(1), FileStatus::ChangeError);
  EXPECT_TRUE(ToolTipOf(1).contains(QStringLiteral("変更できませんでした: この文書の形式には対応していません ("
                                                   "docProps/core.xml is compressed by method 99")))
      << ToolTipOf(1).toStdString();
  EXPECT_EQ(View().statusLine->currentMessage(), QStringLiteral("一括変更: 変更 1 件、失敗 1 件、未処理 0 件"));
  kestrel::test::ExpectUnchanged(before, kestrel::test::TakeFileSnapshot(unknown.toStdString()));
  for (const QWidget* widget : QApplication::allWidgets()) {
    EXPECT_EQ(widget->thread(), QApplication::instance()->thread()) << widget->metaObject()->className();
  }
}

TEST_F(BatchRunTest, WithTheBackupBoxEachDocumentIsCopiedBeforeItChanges) {
  const QStringList paths = {CopyOf("lo-ascii-full.doc"), CopyOf("lo-ascii-full.docx")};
  AddByDialog(paths);
  std::vector<std::vector<std::uint8_t>> originals;
  for (const QString& path : paths) originals.push_back(kestrel::test::ReadBytes(path.toStdString()));
  AskForNothing();
  Include(0, QStringLiteral("after the backup"));
  View().batchBackupBox->setChecked(true);
  View().singleBackupBox->setChecked(false);
  Run();
  for (int i = 0; i < paths.size(); ++i) {
    const std::string path = paths[i].toStdString();
    EXPECT_EQ(StatusOf(i), FileStatus::Changed);
    EXPECT_EQ(kestrel::test::ReadBytes(change::BackupFileName(path)), originals[static_cast<std::size_t>(i)]);
    EXPECT_EQ(Title(paths[i]), "after the backup");
  }
}

TEST_F(BatchRunTest, AFailedBackupEndsTheRunThereWithoutAMessage) {
  const QStringList paths = Copies(5);
  AddByDialog(paths);
  // A folder where the third document's backup should go makes that backup fail.
  stdfs::create_directory(change::BackupFileName(paths[2].toStdString()));
  std::vector<kestrel::test::FileSnapshot> before;
  for (const QString& path : paths) before.push_back(kestrel::test::TakeFileSnapshot(path.toStdString()));
  AskForNothing();
  Include(0, QStringLiteral("changed"));
  View().batchBackupBox->setChecked(true);
  Run();
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(Statuses(), (std::vector<FileStatus>{FileStatus::Changed, FileStatus::Changed, FileStatus::ChangeError,
                                                 FileStatus::NotChanged, FileStatus::NotChanged}));
  EXPECT_EQ(Title(paths[0]), "changed");
  EXPECT_EQ(Title(paths[1]), "changed");
  for (std::size_t i = 2; i < 5; ++i) {
    kestrel::test::ExpectUnchanged(before[i], kestrel::test::TakeFileSnapshot(paths[static_cast<int>(i)].toStdString()));
  }
  EXPECT_FALSE(stdfs::exists(change::BackupFileName(paths[3].toStdString())));
  // No message box, but the status bar says where the run ended and why.
  const QString said = View().statusLine->currentMessage();
  EXPECT_TRUE(said.startsWith(QStringLiteral("一括変更: 変更 2 件、失敗 1 件、未処理 2 件。") + paths[2] +
                              QStringLiteral(" で中止しました。バックアップできないため変更していません: ")))
      << said.toStdString();
  EXPECT_EQ(Progress().percentLabel->text(), QStringLiteral("40%"));
  EXPECT_EQ(Progress().progressBar->value(), 100);
  EXPECT_FALSE(Progress().isVisible());
}

// A document held open elsewhere would not be changed anyway: it fails with its reason and gets
// no backup, and every other document is backed up and changed.
TEST_F(BatchRunTest, WithBackupsADocumentHeldOpenFailsAloneWithoutABackup) {
  const QStringList paths = Copies(4);
  AddByDialog(paths);
  const kestrel::test::LockHolder holder(paths[1].toStdString(), true);
  ASSERT_TRUE(holder.Holding());
  const kestrel::test::FileSnapshot held = kestrel::test::TakeFileSnapshot(paths[1].toStdString());
  AskForNothing();
  Include(0, QStringLiteral("changed"));
  View().batchBackupBox->setChecked(true);
  Run();
  EXPECT_EQ(Statuses(), (std::vector<FileStatus>{FileStatus::Changed, FileStatus::ChangeError, FileStatus::Changed,
                                                 FileStatus::Changed}));
  EXPECT_TRUE(ToolTipOf(1).contains(QStringLiteral("held open"))) << ToolTipOf(1).toStdString();
  for (int i : {0, 2, 3}) {
    EXPECT_EQ(Title(paths[i]), "changed");
    EXPECT_TRUE(stdfs::exists(change::BackupFileName(paths[i].toStdString()))) << i;
  }
  kestrel::test::ExpectUnchanged(held, kestrel::test::TakeFileSnapshot(paths[1].toStdString()));
  EXPECT_FALSE(stdfs::exists(change::BackupFileName(paths[1].toStdString())));
  EXPECT_EQ(View().statusLine->currentMessage(), QStringLiteral("一括変更: 変更 3 件、失敗 1 件、未処理 0 件"));
}

// A document that already holds every value is not written, so it needs no backup, and the
// window says so apart from the documents it changed.
TEST_F(BatchRunTest, DocumentsThatAlreadyHoldTheValuesAreCountedApartAndGetNoBackup) {
  const QStringList paths = Copies(2);
  AddByDialog(paths);
  AskForNothing();
  Include(0, QStringLiteral("same"));
  Run();
  View().batchBackupBox->setChecked(true);
  Run();
  EXPECT_EQ(View().statusLine->currentMessage(),
            QStringLiteral("一括変更: 変更 2 件、(うち変更なし 2 件)、失敗 0 件、未処理 0 件"));
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(ToolTipOf(i).contains(QStringLiteral("変更なし (すでにその値です)"))) << ToolTipOf(i).toStdString();
    EXPECT_FALSE(stdfs::exists(change::BackupFileName(paths[i].toStdString()))) << i;
  }
}

TEST_F(BatchRunTest, ACancelDuringTheSecondOfFiveFinishesItAndStopsThere) {
  const QStringList paths = Copies(5);
  AddByDialog(paths);
  std::vector<kestrel::test::FileSnapshot> before;
  for (const QString& path : paths) before.push_back(kestrel::test::TakeFileSnapshot(path.toStdString()));
  AskForNothing();
  Include(0, QStringLiteral("changed"));
  ProgressWatch watch(Progress());
  watch.CancelAt(paths[1]);
  Run();
  EXPECT_EQ(watch.Documents(), (QStringList{paths[0], paths[1]}));
  EXPECT_EQ(Statuses(), (std::vector<FileStatus>{FileStatus::Changed, FileStatus::Changed, FileStatus::NotChanged,
                                                 FileStatus::NotChanged, FileStatus::NotChanged}));
  EXPECT_EQ(Title(paths[1]), "changed");
  for (std::size_t i = 2; i < 5; ++i) {
    kestrel::test::ExpectUnchanged(before[i], kestrel::test::TakeFileSnapshot(paths[static_cast<int>(i)].toStdString()));
  }
  EXPECT_EQ(Progress().progressBar->value(), 100);
  EXPECT_EQ(Progress().percentLabel->text(), QStringLiteral("40%"));
  EXPECT_FALSE(Progress().Cancelled());
  EXPECT_FALSE(Progress().isVisible());
  EXPECT_TRUE(dialogs_.messages.empty());

  // The next run starts afresh: nothing of the cancel is left.
  ProgressWatch again(Progress());
  Run();
  EXPECT_EQ(again.Percentages(), (QStringList{"0%", "20%", "40%", "60%", "80%", "100%"}));
  EXPECT_EQ(Statuses(), std::vector<FileStatus>(5, FileStatus::Changed));
}

TEST_F(BatchRunTest, ThePercentagesRoundHalvesToTheEvenNeighbour) {
  for (const int count : {8, 3, 1}) {
    SCOPED_TRACE(count);
    Window().RemoveAllFiles();
    AddByDialog(Copies(count));
    AskForNothing();
    View().batchReadOnlyBox->setCheckState(Qt::Unchecked);
    ProgressWatch watch(Progress());
    Run();
    const std::map<int, QStringList> expected = {
        {8, {"0%", "12%", "25%", "38%", "50%", "62%", "75%", "88%", "100%"}},
        {3, {"0%", "33%", "67%", "100%"}},
        {1, {"0%", "100%"}},
    };
    EXPECT_EQ(watch.Percentages(), expected.at(count));
  }
}

TEST(ProgressPercent, IsTheNearestWholePercentWithHalvesToEven) {
  // Exact halves like 12.5 are exact in binary, and no other quotient here comes near enough to a
  // half to be rounded onto it, so the floating-point division is a fair reference.
  for (int count = 1; count <= 400; ++count) {
    for (int done = 1; done <= count; ++done) {
      ASSERT_EQ(ProgressPercent(done, count), static_cast<int>(std::nearbyint(100.0 * done / count)))
          << done << " of " << count;
    }
  }
}

TEST_F(BatchRunTest, TheDialogStaysUntilTheRunEndsAndAStartWhileRunningIsIgnored) {
  const QStringList paths = Copies(3);
  AddByDialog(paths);
  AskForNothing();
  Include(0, QStringLiteral("all three"));
  ProgressWatch watch(Progress());
  watch.At(paths[0], [&] {
    Progress().reject();  // what Escape and the window frame's close button do
    Window().ChangeAllFiles();
  });
  Run();
  EXPECT_EQ(watch.Documents(), paths);
  EXPECT_EQ(dialogs_.modalTitles.size(), 1U);
  EXPECT_EQ(Statuses(), std::vector<FileStatus>(3, FileStatus::Changed));
  EXPECT_FALSE(Progress().isVisible());
}

TEST_F(BatchRunTest, AnEscapeBeforeTheRunStartsClosesNothingEither) {
  const QStringList paths = Copies(2);
  AddByDialog(paths);
  AskForNothing();
  Include(0, QStringLiteral("both"));
  // Escape or the frame's close button as soon as the dialog is up, before its run has begun.
  QTimer escape;
  escape.setInterval(0);
  QObject::connect(&escape, &QTimer::timeout, [this, &escape] {
    if (!Progress().isVisible()) return;
    escape.stop();
    EXPECT_TRUE(Progress().documentLabel->text().isEmpty()) << "the run had begun";
    Progress().reject();
  });
  escape.start();
  Run();
  EXPECT_FALSE(escape.isActive()) << "the dialog was never shown";
  EXPECT_EQ(Statuses(), std::vector<FileStatus>(2, FileStatus::Changed));
  EXPECT_FALSE(Progress().isVisible());
  EXPECT_FALSE(Progress().startDelay->isActive()) << "a run is still to come after the dialog closed";
}

TEST_F(BatchRunTest, AfterTheRunTheFirstDocumentIsShownAgain) {
  const QStringList paths = {CopyOf("lo-ja-full.doc"), CopyOf("lo-ascii-full.docx")};
  AddByDialog(paths);
  ASSERT_EQ(SelectedFile(), 1);
  AskForNothing();
  Include(0, QStringLiteral("新しい題名"));
  Run();
  EXPECT_EQ(SelectedFile(), 0);
  EXPECT_EQ(Value(0), QStringLiteral("新しい題名"));
  EXPECT_EQ(Value(2), QStringLiteral("山田太郎"));
  EXPECT_TRUE(View().changeSelectedButton->isEnabled());
}

}  // namespace
}  // namespace kestrel::app::test
