// "変更" on the single tab: the values edited in the tab end up in the document, its times and
// attributes, with a backup beside it; failures show in the status icon or in a message.
#include <sys/stat.h>

#include <QStatusBar>
#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>

#include "app/FileListModel.h"
#include "app/FileListView.h"
#include "app/InPlaceEditors.h"
#include "app/PickerValues.h"
#include "app/PropertyListView.h"
#include "change/Backup.h"
#include "platform/fs/FileState.h"
#include "platform/time/LocalDateTime.h"
#include "reading/DocumentReading.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/FileSnapshot.h"
#include "tests/support/Oracles.h"

namespace kestrel::app::test {
namespace {

class SingleChangeTest : public MainWindowFixture {
 protected:
  void SetPickers(QDateEdit* date, QTimeEdit* clock, QDateTime value) {
    date->setDate(value.date());
    clock->setTime(value.time());
  }

  // The file's times as local date-times, to the millisecond.
  static QDateTime Local(time::FileTime fileTime) {
    const PickerValue shown = ToPickerValue(time::FileTimeToLocalDateTime(fileTime).value()).value();
    return {shown.date, shown.time};
  }

  static fs::FileRecord RecordOf(const QString& path) { return fs::ReadFileRecord(path.toStdString()).value(); }

  static reading::PropertyTexts RowsOf(const QString& path) {
    ooxml::PackageProperties packages;
    return reading::ReadDocumentRows(packages, path.toStdString()).value();
  }

  void ClickChange() { QTest::mouseClick(View().changeSelectedButton, Qt::LeftButton); }
};

const QDateTime kCreation(QDate(2021, 4, 1), QTime(10, 20, 30));
const QDateTime kLastWrite(QDate(2022, 5, 6), QTime(7, 8, 9));
const QDateTime kLastAccess(QDate(2023, 1, 2), QTime(3, 4, 5));

TEST_F(SingleChangeTest, TheAttributeBoxesCycleUncheckedGrayedChecked) {
  AddByDialog({CopyOf("lo-ascii-full.doc")});
  for (QCheckBox* box : {View().readOnlyBox, View().archiveBox, View().hiddenBox, View().systemBox}) {
    box->setCheckState(Qt::Unchecked);
    for (const Qt::CheckState next : {Qt::PartiallyChecked, Qt::Checked, Qt::Unchecked}) {
      QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(6, box->height() / 2));
      EXPECT_EQ(box->checkState(), next) << box->objectName().toStdString();
    }
  }
}

TEST_F(SingleChangeTest, ABinaryDocumentTakesTheTabsValuesTimesAndAttributes) {
  const QString path = CopyOf("lo-ascii-full.doc");
  const std::vector<std::uint8_t> original = kestrel::test::ReadBytes(path.toStdString());
  AddByDialog({path});
  EditText(0, QStringLiteral("  New title  "));
  ClickValue(12);
  View().editors->numberBox->setText(QStringLiteral("45"));
  ClickValue(10);
  View().editors->editorDate->setDate(QDate(2018, 3, 4));
  View().editors->editorTime->setTime(QTime(5, 6, 7));
  SetPickers(View().creationDate, View().creationTime, kCreation);
  SetPickers(View().lastWriteDate, View().lastWriteTime, kLastWrite);
  SetPickers(View().lastAccessDate, View().lastAccessTime, kLastAccess);
  View().readOnlyBox->setCheckState(Qt::Checked);
  ClickChange();  // the button takes the focus, which closes the date editor first

  EXPECT_EQ(StatusOf(0), FileStatus::Changed);
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(kestrel::test::ReadBytes(change::BackupFileName(path.toStdString())), original);
  const reading::PropertyTexts rows = RowsOf(path);
  EXPECT_EQ(rows[0], "New title");
  EXPECT_EQ(rows[10], "2018/03/04 5:06:00");
  EXPECT_EQ(rows[12], "45");
  EXPECT_EQ(rows[2], "John Smith");
  const fs::FileRecord record = RecordOf(path);
  EXPECT_NE(record.attributes & fs::kAttributeReadOnly, 0U);
  EXPECT_EQ(Local(record.times.FileTimes().lastWrite), kLastWrite);
  EXPECT_EQ(Local(record.times.FileTimes().lastAccess), kLastAccess);
  if (const auto summary = kestrel::test::DumpPropertySet(path.toStdString(), "SummaryInformation")) {
    EXPECT_EQ(summary->properties.at({0, 2U}), kestrel::test::DumpedText(30, "New title"));
  }
}

// Only the title is edited: every other row keeps the document's own value, even one the rows
// cannot carry (LibreOffice keeps 90 minutes of editing in the property set, 0 in the statistics
// block, and the rows show the block), and the three times keep their nanoseconds.
TEST_F(SingleChangeTest, OnlyWhatWasEditedIsWritten) {
  for (const char* name : {"lo-ja-full.doc", "lo-ja-full.docx"}) {
    SCOPED_TRACE(name);
    const QString path = CopyOf(name);
    kestrel::test::SetKernelTimes(path.toStdString(), {1600000000, 123456789}, {1700000000, 987654321});
    const std::optional<kestrel::test::PropertyDump> summary =
        kestrel::test::DumpPropertySet(path.toStdString(), "SummaryInformation");
    const reading::PropertyTexts rowsBefore = RowsOf(path);
    AddByDialog({path});
    const fs::FileRecord before = RecordOf(path);
    EditText(0, QStringLiteral("新しい題名"));
    ClickChange();
    ASSERT_EQ(StatusOf(Window().Files().rowCount() - 1), FileStatus::Changed);

    reading::PropertyTexts expected = rowsBefore;
    expected[0] = "新しい題名";
    EXPECT_EQ(RowsOf(path), expected);
    const fs::FileTimestamps times = RecordOf(path).times;
    EXPECT_EQ(times.lastWrite, before.times.lastWrite);
    EXPECT_EQ(times.lastAccess, before.times.lastAccess);
    // A rewritten package is a new file: its creation time lives in the attribute store, in
    // units of 100 ns.
    const bool package = QString(name).endsWith(QStringLiteral("x"));
    EXPECT_EQ(times.creation.seconds, before.times.creation.seconds);
    EXPECT_EQ(times.creation.nanoseconds / (package ? 100 : 1), before.times.creation.nanoseconds / (package ? 100 : 1));
    if (summary) {  // a compound file, with olefile present
      const auto after = kestrel::test::DumpPropertySet(path.toStdString(), "SummaryInformation");
      ASSERT_TRUE(after);
      EXPECT_EQ(after->properties.at({0, 10U}), summary->properties.at({0, 10U})) << "the editing time";
      EXPECT_EQ(after->properties.at({0, 2U}), kestrel::test::DumpedText(30, "新しい題名"));
    }
  }
}

TEST_F(SingleChangeTest, APackageTakesJapaneseValuesAndNoBackupWhenTheBoxIsOff) {
  const QString path = CopyOf("lo-ja-full.docx");
  AddByDialog({path});
  EditText(0, QStringLiteral("新しい題名"));
  EditText(9, QStringLiteral("株式会社ノルヴェイル"));
  View().singleBackupBox->setChecked(false);
  SetPickers(View().lastWriteDate, View().lastWriteTime, kLastWrite);
  ClickChange();
  EXPECT_EQ(StatusOf(0), FileStatus::Changed);
  EXPECT_FALSE(std::filesystem::exists(change::BackupFileName(path.toStdString())));
  const reading::PropertyTexts rows = RowsOf(path);
  EXPECT_EQ(rows[0], "新しい題名");
  EXPECT_EQ(rows[9], "株式会社ノルヴェイル");
  EXPECT_EQ(Local(RecordOf(path).times.FileTimes().lastWrite), kLastWrite);
  const kestrel::test::CommandResult oracle =
      kestrel::test::RunCommand("python3 " + kestrel::test::ShellQuote(kestrel::test::TestScript("oracle/package_props.py").string()) +
                                " " + kestrel::test::ShellQuote(path.toStdString()));
  ASSERT_EQ(oracle.exitCode, 0) << oracle.output;
  EXPECT_NE(oracle.output.find("testzip=None"), std::string::npos) << oracle.output;
  EXPECT_NE(oracle.output.find("dc:title=新しい題名\n"), std::string::npos) << oracle.output;
  EXPECT_NE(oracle.output.find("ep:Company=株式会社ノルヴェイル\n"), std::string::npos) << oracle.output;
}

TEST_F(SingleChangeTest, AnUncheckedReadOnlyBoxLeavesAReadOnlyDocumentWritable) {
  const QString path = CopyOf("lo-ascii-full.doc");
  ASSERT_EQ(chmod(path.toStdString().c_str(), 0444), 0);
  AddByDialog({path});
  ASSERT_EQ(View().readOnlyBox->checkState(), Qt::Checked);
  View().readOnlyBox->setCheckState(Qt::Unchecked);
  ClickChange();
  EXPECT_EQ(StatusOf(0), FileStatus::Changed);
  EXPECT_EQ(RecordOf(path).attributes & fs::kAttributeReadOnly, 0U);
}

TEST_F(SingleChangeTest, AFailedBackupShowsWhyAndLeavesTheDocumentAlone) {
  const QString path = CopyOf("lo-ascii-full.doc");
  AddByDialog({path});
  ClickChange();
  ASSERT_EQ(StatusOf(0), FileStatus::Changed);
  // A folder where the backup should go makes the backup fail.
  const std::string backup = change::BackupFileName(path.toStdString());
  std::filesystem::remove(backup);
  std::filesystem::create_directory(backup);
  const std::vector<std::uint8_t> before = kestrel::test::ReadBytes(path.toStdString());
  EditText(0, QStringLiteral("not written"));
  ClickChange();
  ASSERT_EQ(dialogs_.messages.size(), 1U);
  EXPECT_EQ(dialogs_.messages[0].text,
            QStringLiteral("元のファイルをバックアップする時、エラーが発生しました。\n"
                           "このファイルは他のアプリケーションで開けないよにしてください。\n") +
                path);
  EXPECT_EQ(dialogs_.messages[0].title, QStringLiteral("Kestrelpad"));
  EXPECT_EQ(kestrel::test::ReadBytes(path.toStdString()), before);
  EXPECT_EQ(StatusOf(0), FileStatus::NotChanged);
  EXPECT_TRUE(
      View().statusLine->currentMessage().startsWith(QStringLiteral("バックアップできないため変更していません: ")))
      << View().statusLine->currentMessage().toStdString();
}

TEST_F(SingleChangeTest, AChangeThatFailsShowsTheChangeErrorIconAndNoMessage) {
  const QString path = CopyOf("x.doc");
  AddByDialog({path});
  ClickChange();
  EXPECT_EQ(StatusOf(0), FileStatus::ChangeError);
  EXPECT_TRUE(dialogs_.messages.empty());
  // A later successful read keeps the change-error icon: only a read error is cleared by a read.
  AddByDialog({CopyOf("lo-ascii-full.doc")});
  SelectFile(0);
  EXPECT_EQ(StatusOf(0), FileStatus::ChangeError);
}

TEST_F(SingleChangeTest, AChangedFileKeepsItsIconWhenReadAgain) {
  AddByDialog({CopyOf("lo-ascii-full.doc"), CopyOf("lo-ja-full.doc")});
  ClickChange();
  ASSERT_EQ(StatusOf(1), FileStatus::Changed);
  SelectFile(0);
  SelectFile(1);
  EXPECT_EQ(StatusOf(1), FileStatus::Changed);
  EXPECT_EQ(StatusOf(0), FileStatus::NotChanged);
}

TEST_F(SingleChangeTest, WithNoFileSelectedTheChangeAsksForOne) {
  AddByDialog({CopyOf("lo-ascii-full.doc")});
  View().fileList->clearSelection();
  Window().ChangeSelectedFile();
  ASSERT_EQ(dialogs_.messages.size(), 1U);
  EXPECT_EQ(dialogs_.messages[0].text, QStringLiteral("変更したいファイルを選択する!"));
  EXPECT_EQ(dialogs_.messages[0].title, QStringLiteral("Kestrelpad"));
  EXPECT_EQ(StatusOf(0), FileStatus::NotChanged);
}

}  // namespace
}  // namespace kestrel::app::test
