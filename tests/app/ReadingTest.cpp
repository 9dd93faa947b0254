// Selecting a file reads it into the single tab: its rows, its times, its attribute bits, and the
// status icon a failed read leaves.
#include <fcntl.h>
#include <sys/stat.h>

#include <QGroupBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <QCheckBox>
#include <QDateEdit>
#include <QPushButton>
#include <QTimeEdit>

#include "app/FileListModel.h"
#include "app/PickerValues.h"
#include "app/PropertyListView.h"
#include "platform/fs/FileState.h"
#include "platform/time/LocalDateTime.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/LockHolder.h"
#include "tests/support/ExpectedRows.h"

namespace kestrel::app::test {
namespace {

class ReadingTest : public MainWindowFixture {
 protected:
  void ExpectNothingShownOrWritable();
};

kestrel::test::ExpectedRows Expected(const std::string& name) {
  static const auto rows = kestrel::test::LoadExpectedRows(kestrel::test::DataFile("expected-rows.jsonl"));
  return rows.at(name);
}

fs::FileRecord RecordOf(const QString& path) {
  std::optional<fs::FileRecord> record = fs::ReadFileRecord(path.toStdString());
  if (!record) throw std::runtime_error("no record of " + path.toStdString());
  return *record;
}

PickerValue Shown(time::FileTime fileTime) { return ToPickerValue(*time::FileTimeToLocalDateTime(fileTime)).value(); }

void ExpectPickers(const QDateEdit* date, const QTimeEdit* clock, const PickerValue& expected) {
  EXPECT_EQ(date->date(), expected.date) << date->objectName().toStdString();
  EXPECT_EQ(clock->time(), expected.time) << clock->objectName().toStdString();
}

// After a failed read nothing of any document is shown, and nothing can write to this one or
// take its values: the change, the single export and the import are off, the pickers blank.
void ReadingTest::ExpectNothingShownOrWritable() {
  const MainWindowView& window = View();
  EXPECT_EQ(window.singleProperties->Values(), (std::array<std::string, 14>{}));
  for (QDateEdit* date : {window.creationDate, window.lastWriteDate, window.lastAccessDate}) {
    EXPECT_EQ(date->text(), QStringLiteral(" ")) << date->objectName().toStdString();
  }
  for (QWidget* control : std::initializer_list<QWidget*>{window.changeSelectedButton, window.exportSelectedButton,
                                                          window.importFromSelectedButton, window.fileTimesGroup,
                                                          window.attributesGroup}) {
    EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
  }
}

TEST_F(ReadingTest, SelectingADocumentShowsItsRowsTimesAndAttributesAndLeavesItAsItWas) {
  const QString path = CopyOf("lo-ja-full.doc");
  ASSERT_EQ(chmod(path.toStdString().c_str(), 0444), 0);
  const fs::FileRecord before = RecordOf(path);
  ASSERT_NE(before.attributes & fs::kAttributeReadOnly, 0U);
  AddByDialog({path});
  EXPECT_EQ(Values(), Expected("lo-ja-full.doc").value());
  const fs::FileTimeSet times = before.times.FileTimes();
  ExpectPickers(View().creationDate, View().creationTime, Shown(times.creation));
  ExpectPickers(View().lastWriteDate, View().lastWriteTime, Shown(times.lastWrite));
  ExpectPickers(View().lastAccessDate, View().lastAccessTime, Shown(times.lastAccess));
  const std::array<std::pair<QCheckBox*, std::uint32_t>, 4> boxes = {{{View().readOnlyBox, fs::kAttributeReadOnly},
                                                                      {View().archiveBox, fs::kAttributeArchive},
                                                                      {View().hiddenBox, fs::kAttributeHidden},
                                                                      {View().systemBox, fs::kAttributeSystem}}};
  for (const auto& [box, bit] : boxes) {
    EXPECT_EQ(box->checkState(), (before.attributes & bit) != 0 ? Qt::Checked : Qt::Unchecked)
        << box->objectName().toStdString();
  }
  EXPECT_EQ(StatusOf(0), FileStatus::NotChanged);
  const fs::FileRecord after = RecordOf(path);
  EXPECT_EQ(after.times, before.times);
  EXPECT_EQ(after.attributes, before.attributes);
}

TEST_F(ReadingTest, APackageIsReadByItsExtensionInAnyCase) {
  AddByDialog({CopyOf("MixedCase.Docx"), CopyOf("lo-ascii-full.docx")});
  EXPECT_EQ(Values(), Expected("lo-ascii-full.docx").value());
  SelectFile(0);
  EXPECT_EQ(Values(), Expected("MixedCase.Docx").value());
  EXPECT_EQ(StatusOf(0), FileStatus::NotChanged);
}

TEST_F(ReadingTest, AnUnreadablePackageGetsTheReadErrorIconAndShowsNoOtherFilesRows) {
  const QString good = CopyOf("lo-ascii-full.doc");
  const QString broken = CopyOf("truncated.docx");
  AddByDialog({good});
  ASSERT_EQ(Value(0), QStringLiteral("Quarterly Report"));
  AddByDialog({broken});
  EXPECT_EQ(StatusOf(1), FileStatus::ReadError);
  ExpectNothingShownOrWritable();
  // Why, in the tooltip and the status bar; no message box.
  const QString reason = Window().Files().data(Window().Files().index(1, 0), Qt::ToolTipRole).toString();
  EXPECT_TRUE(reason.startsWith(broken + QStringLiteral("\n読み込めませんでした: "))) << reason.toStdString();
  EXPECT_TRUE(reason.endsWith(View().statusLine->currentMessage()))
      << View().statusLine->currentMessage().toStdString();
  EXPECT_TRUE(dialogs_.messages.empty());
  // The other document is shown and can be changed again.
  SelectFile(0);
  EXPECT_TRUE(View().changeSelectedButton->isEnabled());
  EXPECT_EQ(View().statusLine->currentMessage(), QStringLiteral("読み込みました"));
}

// A document held by another program cannot be read; once released, no way of starting a change
// of the selection writes anything of another document's values to it.
TEST_F(ReadingTest, AfterAFailedReadNoChangeReachesTheDocument) {
  for (const char* name : {"lo-ja-full.docx", "lo-ja-full.doc"}) {
    SCOPED_TRACE(name);
    AddByDialog({CopyOf("lo-ascii-full.doc", "shown.doc")});
    const QString held = CopyOf(name, std::string("held-") + name);
    const std::vector<std::uint8_t> before = kestrel::test::ReadBytes(held.toStdString());
    {
      const kestrel::test::LockHolder holder(held.toStdString(), true);
      ASSERT_TRUE(holder.Holding());
      AddByDialog({held});
    }
    const int row = Window().Files().rowCount() - 1;
    ASSERT_EQ(StatusOf(row), FileStatus::ReadError);
    ExpectNothingShownOrWritable();
    QTest::mouseClick(View().changeSelectedButton, Qt::LeftButton);
    Window().ChangeSelectedFile();
    Window().ImportFromSelectedFile();
    EXPECT_EQ(kestrel::test::ReadBytes(held.toStdString()), before);
    EXPECT_EQ(StatusOf(row), FileStatus::ReadError);
    Window().Files().RemoveAll();
  }
}

TEST_F(ReadingTest, AFileGoneSinceItWasListedIsAReadErrorUntilItCanBeReadAgain) {
  const QString first = CopyOf("lo-ascii-full.doc", "first.doc");
  const QString second = CopyOf("lo-ja-full.doc", "second.doc");
  AddByDialog({first, second});
  std::filesystem::rename(second.toStdString(), (dir_.Path() / "aside.doc").string());
  SelectFile(0);
  SelectFile(1);
  EXPECT_EQ(StatusOf(1), FileStatus::ReadError);
  ExpectNothingShownOrWritable();

  std::filesystem::rename((dir_.Path() / "aside.doc").string(), second.toStdString());
  SelectFile(0);
  SelectFile(1);
  EXPECT_EQ(StatusOf(1), FileStatus::NotChanged);
  EXPECT_EQ(Values(), Expected("lo-ja-full.doc").value());
}

TEST_F(ReadingTest, AFileThatIsNoDocumentReadsAsEmptyRowsWithoutError) {
  AddByDialog({CopyOf("x.doc")});
  EXPECT_EQ(Values(), Expected("x.doc").value());
  EXPECT_EQ(StatusOf(0), FileStatus::NotChanged);
}

TEST_F(ReadingTest, ALastAccessNotLaterThan1904LeavesTheAccessDateBlank) {
  const QString recent = CopyOf("lo-ascii-full.doc", "recent.doc");
  const QString old = CopyOf("lo-ja-full.doc", "old.doc");
  // 1903-08-01 00:00 UTC, before 1904-05-20 in every zone.
  const timespec times[2] = {{-2095545600, 0}, {UTIME_OMIT, UTIME_OMIT}};
  if (utimensat(AT_FDCWD, old.toStdString().c_str(), times, 0) != 0 || RecordOf(old).times.lastAccess.seconds != -2095545600) {
    GTEST_SKIP() << "this file system keeps no access time before 1970";
  }
  AddByDialog({recent});
  const PickerValue recentAccess = Shown(RecordOf(recent).times.FileTimes().lastAccess);
  AddByDialog({old});
  // Not the other document's time: the date is blank.
  EXPECT_NE(View().lastAccessDate->date(), recentAccess.date);
  EXPECT_EQ(View().lastAccessDate->text(), QStringLiteral(" "));
  ExpectPickers(View().lastWriteDate, View().lastWriteTime, Shown(RecordOf(old).times.FileTimes().lastWrite));
  EXPECT_EQ(StatusOf(1), FileStatus::NotChanged);
}

// No service speaks to the user: the reason reaches the file's tooltip, and no dialog opens (one
// opened from a worker thread would freeze the window).
TEST_F(ReadingTest, AnEntryTheZipComponentCannotDecodeIsAReadErrorWithItsReason) {
  AddByDialog({CopyWithUnknownMethod("lo-ascii-full.docx")});
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(StatusOf(0), FileStatus::ReadError);
  const QString reason = ToolTipOf(0);
  EXPECT_TRUE(reason.contains(QStringLiteral("この文書の形式には対応していません"))) << reason.toStdString();
  EXPECT_TRUE(reason.contains(QStringLiteral("docProps/core.xml is compressed by method 99"))) << reason.toStdString();
}

}  // namespace
}  // namespace kestrel::app::test
