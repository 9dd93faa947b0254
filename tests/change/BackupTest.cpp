#include "change/Backup.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "platform/fs/FileState.h"
#include "tests/change/ChangeFixture.h"
#include "tests/support/DosAttribOracle.h"
#include "tests/support/LocalClock.h"
#include "tests/platform/fs/ScratchFileSystem.h"
#include "tests/support/LockHolder.h"

namespace kestrel::change {
namespace {

namespace stdfs = std::filesystem;

std::vector<std::string> Names(const stdfs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : stdfs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The backup of a read-only document is read-only too and carries its three times to the
// nanosecond (its creation time in the 100 ns units the blob keeps); the document itself is not
// touched.
TEST(Backup, AReadOnlyDocumentGivesAReadOnlyBackupWithItsTimes) {
  for (const char* name : {"lo-ja-full.doc", "lo-ja-full.docx"}) {
    SCOPED_TRACE(name);
    const test::TempDir dir;
    const auto file = test::PrepareDocument(dir, name, true);
    const auto document = test::TakeFileSnapshot(file);
    const auto record = fs::ReadFileRecord(file);
    ASSERT_TRUE(record);
    ASSERT_TRUE(BackUpDocument(file));

    const stdfs::path backup = file.string() + ".bak";
    const auto copy = test::TakeFileSnapshot(backup);
    EXPECT_TRUE(copy.bytes == document.bytes);
    EXPECT_FALSE(test::OwnerWritable(backup));
    EXPECT_EQ(test::ShownAttributes(backup), fs::kAttributeReadOnly);
    EXPECT_EQ(test::ToString(copy.lastWrite), test::ToString(test::kOddLastWrite));
    EXPECT_EQ(test::ToString(copy.lastAccess), test::ToString(test::kOddLastAccess));
    const auto backupRecord = fs::ReadFileRecord(backup);
    ASSERT_TRUE(backupRecord);
    EXPECT_EQ(fs::FileTimeOf(backupRecord->times.creation), fs::FileTimeOf(record->times.creation));
    const auto blob = test::ReadDosAttrib(backup);
    ASSERT_TRUE(blob && blob->creation) << "the copy's own birth time is not the document's: the blob holds it";
    EXPECT_EQ(*blob->creation, fs::FileTimeOf(record->times.creation));

    const auto after = test::TakeFileSnapshot(file);
    EXPECT_TRUE(after.bytes == document.bytes);
    EXPECT_EQ(test::ToString(after.lastWrite), test::ToString(document.lastWrite));
    EXPECT_EQ(after.mode, document.mode);
    EXPECT_TRUE(after.xattrs == document.xattrs);
  }
}

TEST(Backup, HiddenAndSystemBitsAreCarried) {
  if (!test::OlefilePython()) GTEST_SKIP() << "Debian's python3 is not installed";
  const test::TempDir dir;
  const auto file = test::PrepareDocument(dir, "lo-ascii-full.doc", false);
  ASSERT_TRUE(fs::SetFileAttributes(file, fs::kAttributeHidden | fs::kAttributeSystem | fs::kAttributeArchive));
  ASSERT_TRUE(BackUpDocument(file));
  const stdfs::path backup = file.string() + ".bak";
  EXPECT_EQ(test::ShownAttributes(backup), fs::kAttributeHidden | fs::kAttributeSystem | fs::kAttributeArchive);
  EXPECT_TRUE(test::OwnerWritable(backup));
  const auto blob = test::ReadDosAttrib(backup);
  ASSERT_TRUE(blob);
  EXPECT_EQ(blob->attributes & 0x26u, 0x26u);
}

// A read-only, hidden backup of an earlier run gives way to a fresh copy with the document's bits.
TEST(Backup, AnEarlierReadOnlyHiddenBackupIsReplaced) {
  const test::TempDir dir;
  const auto file = test::PrepareDocument(dir, "lo-ja-full.doc", false);
  const stdfs::path backup = file.string() + ".bak";
  std::ofstream(backup) << "an earlier backup";
  ASSERT_TRUE(fs::SetFileAttributes(backup, fs::kAttributeReadOnly | fs::kAttributeHidden));
  ASSERT_FALSE(test::OwnerWritable(backup));
  ASSERT_TRUE(BackUpDocument(file));
  EXPECT_TRUE(test::ReadBytes(backup) == test::ReadBytes(file));
  EXPECT_EQ(test::ShownAttributes(backup), test::ShownAttributes(file));
  EXPECT_TRUE(test::OwnerWritable(backup));
}

// Writing a backup's copy touches nothing anyone sees: an earlier backup stays as it was and no
// file appears, also when the copy is dropped. Only putting it in place replaces the earlier one.
TEST(Backup, ThePreparedCopyTouchesNothingUntilItIsPutInPlace) {
  for (const bool earlierBackup : {false, true}) {
    SCOPED_TRACE(earlierBackup ? "with an earlier backup" : "first backup");
    const test::TempDir dir;
    const auto file = test::PrepareDocument(dir, "lo-ja-full.docx", true);
    const stdfs::path backup = file.string() + ".bak";
    if (earlierBackup) {
      std::ofstream(backup) << "an earlier backup";
      ASSERT_TRUE(fs::SetFileAttributes(backup, fs::kAttributeReadOnly));
    }
    const auto namesBefore = Names(dir.Path());
    const auto earlier = earlierBackup ? std::optional(test::TakeFileSnapshot(backup)) : std::nullopt;
    {
      Result<PreparedBackup> dropped = PrepareBackup(file);
      ASSERT_TRUE(dropped) << dropped.outcome().message();
    }
    Result<PreparedBackup> prepared = PrepareBackup(file);
    ASSERT_TRUE(prepared) << prepared.outcome().message();
    EXPECT_EQ(Names(dir.Path()), namesBefore);
    if (earlier) test::ExpectUnchanged(*earlier, test::TakeFileSnapshot(backup));

    ASSERT_TRUE(PutBackupInPlace(*prepared));
    EXPECT_TRUE(test::ReadBytes(backup) == test::ReadBytes(file));
    EXPECT_EQ(test::ShownAttributes(backup), fs::kAttributeReadOnly);
    EXPECT_FALSE(PutBackupInPlace(*prepared)) << "a prepared backup is put in place once";
    EXPECT_EQ(Names(dir.Path()).size(), namesBefore.size() + (earlierBackup ? 0 : 1));
  }
}

TEST(Backup, AFolderNamedLikeTheBackupIsLeftAlone) {
  const test::TempDir dir;
  const auto file = test::PrepareDocument(dir, "lo-ja-full.doc", false, "report.doc");
  const auto folder = dir.Path() / "report.doc.bak";
  stdfs::create_directory(folder);
  std::ofstream(folder / "inside.txt") << "kept";
  EXPECT_FALSE(BackUpDocument(file));
  EXPECT_TRUE(stdfs::is_directory(folder));
  EXPECT_EQ(Names(folder), std::vector<std::string>{"inside.txt"});
  EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"report.doc", "report.doc.bak"}));
}

TEST(Backup, AMissingDocumentGivesNoBackup) {
  const test::TempDir dir;
  EXPECT_FALSE(BackUpDocument((dir.Path() / "gone.doc").string()));
  EXPECT_TRUE(stdfs::is_empty(dir.Path()));
}

// A read-only, hidden backup of an earlier run beside report.doc, and how it looked.
test::FileSnapshot MakeEarlierBackup(const stdfs::path& backup) {
  std::ofstream(backup) << "an earlier backup";
  EXPECT_TRUE(fs::SetFileAttributes(backup, fs::kAttributeReadOnly | fs::kAttributeHidden));
  return test::TakeFileSnapshot(backup);
}

void ExpectLeftAsItWas(const stdfs::path& backup, const test::FileSnapshot& before) {
  const auto after = test::TakeFileSnapshot(backup);
  EXPECT_TRUE(after.bytes == before.bytes);
  EXPECT_EQ(after.mode, before.mode);
  EXPECT_TRUE(after.xattrs == before.xattrs);
}

// The earlier backup may be the only copy left of an older state: it stays when the document has
// vanished and when the new copy cannot be made, with its bits as they were.
TEST(Backup, AnEarlierBackupSurvivesAFailedBackup) {
  const test::TempDir dir;
  const auto file = test::PrepareDocument(dir, "lo-ja-full.doc", false, "report.doc");
  const stdfs::path backup = dir.Path() / "report.doc.bak";
  const auto before = MakeEarlierBackup(backup);
  {
    const test::LockHolder writer(file, true);
    ASSERT_TRUE(writer.Holding());
    EXPECT_FALSE(BackUpDocument(file));
  }
  stdfs::remove(file);
  EXPECT_FALSE(BackUpDocument(file));
  ExpectLeftAsItWas(backup, before);
  EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"report.doc.bak"});
}

// An earlier backup another program has open cannot be removed, as on Windows: false, and it
// stays as it was (that program would otherwise keep working on a file that is gone).
TEST(Backup, AnEarlierBackupHeldOpenElsewhereIsNotReplaced) {
  const test::TempDir dir;
  const auto file = test::PrepareDocument(dir, "lo-ja-full.doc", false, "report.doc");
  const stdfs::path backup = dir.Path() / "report.doc.bak";
  const auto before = MakeEarlierBackup(backup);
  {
    const test::LockHolder writer(backup, true);
    ASSERT_TRUE(writer.Holding());
    EXPECT_FALSE(BackUpDocument(file));
  }
  const stdfs::path lockFile = dir.Path() / ".~lock.report.doc.bak#";
  std::ofstream(lockFile) << ",someone,host,07.12.2024 10:00,file:///home/someone;";
  EXPECT_FALSE(BackUpDocument(file));
  ExpectLeftAsItWas(backup, before);
  stdfs::remove(lockFile);
  EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"report.doc", "report.doc.bak"}));
}

TEST(Backup, ABackupNamedDocumentGetsASecondSuffix) {
  EXPECT_EQ(BackupFileName("/data/report.doc"), "/data/report.doc.bak");
  EXPECT_EQ(BackupFileName("/data/report.docx"), "/data/report.docx.bak");
  const test::TempDir dir;
  const auto file = test::PrepareDocument(dir, "lo-ja-full.doc", false, "x.doc.bak");
  ASSERT_TRUE(BackUpDocument(file));
  EXPECT_TRUE(test::ReadBytes(dir.Path() / "x.doc.bak.bak") == test::ReadBytes(file));
}

// Lock files only refuse changes; a copy of the document does no harm.
TEST(Backup, ALockFileBesideDoesNotRefuseIt) {
  const test::TempDir dir;
  const auto file = test::PrepareDocument(dir, "lo-ja-full.doc", false, "report.doc");
  std::ofstream(dir.Path() / ".~lock.report.doc#") << ",someone,host,07.12.2024 10:00,file:///home/someone;";
  std::ofstream(dir.Path() / "~$report.doc") << "someone";
  ASSERT_TRUE(BackUpDocument(file));
  EXPECT_TRUE(test::ReadBytes(dir.Path() / "report.doc.bak") == test::ReadBytes(file));
}

// A document another program is writing cannot be copied: false, and no partial backup.
TEST(Backup, ADocumentBeingWrittenElsewhereCannotBeCopied) {
  const test::TempDir dir;
  const auto file = test::PrepareDocument(dir, "lo-ja-full.doc", false, "report.doc");
  const test::LockHolder writer(file, true);
  ASSERT_TRUE(writer.Holding());
  EXPECT_FALSE(BackUpDocument(file));
  EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"report.doc"});
}

}  // namespace
}  // namespace kestrel::change

namespace kestrel::change {
namespace {

// A package's old file becomes its backup as it is, where the system links it: the same file
// under the backup's name, a second name only until the document is replaced (dropped without
// that, the name goes again). A document behind a link onto another file system gets a copy.
TEST(Backup, APackagesOldFileIsLinkedAsItsBackupOrElseCopied) {
  struct Case {
    const char* what;
    bool otherFileSystem;
  };
  for (const Case& c : {Case{"beside the document", false}, Case{"across file systems", true}}) {
    SCOPED_TRACE(c.what);
    const test::TempDir dir;
    std::optional<test::ScratchFileSystem> elsewhere;
    stdfs::path file = test::PrepareDocument(dir, "lo-ja-full.docx", true);
    if (c.otherFileSystem) {
      elsewhere.emplace(test::ScratchFileSystem::Kind::Tmpfs);
      if (!elsewhere->Mounted()) GTEST_SKIP() << elsewhere->SkipReason();
      stdfs::copy_file(file, elsewhere->Path() / "real.docx");
      stdfs::remove(file);
      stdfs::create_symlink(elsewhere->Path() / "real.docx", file);
    }
    const stdfs::path backup = file.string() + ".bak";
    test::WriteBytes(backup, {1, 2, 3});
    const auto before = test::TakeFileSnapshot(file);
    {
      Result<fs::ExtraName> placed = PutOldFileAsBackup(file.string());
      ASSERT_TRUE(placed) << placed.outcome().message();
      const auto saved = test::TakeFileSnapshot(backup);
      EXPECT_TRUE(saved.bytes == before.bytes && saved.mode == before.mode && saved.lastWrite == before.lastWrite);
      EXPECT_EQ(stdfs::equivalent(file, backup), !c.otherFileSystem);
    }
    EXPECT_EQ(stdfs::exists(backup), c.otherFileSystem) << "a second name outlives no unreplaced document";
    test::ExpectUnchanged(before, test::TakeFileSnapshot(file));
    EXPECT_EQ(Names(dir.Path()).size(), c.otherFileSystem ? 2u : 1u) << "nothing else is left";
  }
}

}  // namespace
}  // namespace kestrel::change
