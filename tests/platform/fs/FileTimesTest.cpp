// Converting times, and setting them only on a file opened as a writer would open it.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/fs/FileIo.h"
#include "platform/fs/FileState.h"
#include "tests/support/LockHolder.h"
#include "tests/support/TestSupport.h"

namespace kestrel::fs {
namespace {

namespace stdfs = std::filesystem;

constexpr time::FileTime kUnixEpoch = 116'444'736'000'000'000;

TEST(FileTimeConversionTest, UnixEpochAndHundredNanosecondUnits) {
  EXPECT_EQ(FileTimeOf({0, 0}), kUnixEpoch);
  EXPECT_EQ(FileTimeOf({1, 123'456'789}), kUnixEpoch + 10'000'000 + 1'234'567) << "truncated, not rounded";
  EXPECT_EQ(TimestampOf(kUnixEpoch + 10'000'000 + 1'234'567), (Timestamp{1, 123'456'700}));
  EXPECT_EQ(TimestampOf(0), (Timestamp{-11'644'473'600, 0}));
  EXPECT_EQ(FileTimeOf(TimestampOf(0)), 0u);
  EXPECT_EQ(FileTimeOf({-11'644'473'601, 999'999'999}), 0u) << "before 1601";
  EXPECT_EQ(FileTimeOf({-1, 500'000'000}), kUnixEpoch - 5'000'000) << "half a second before 1970";
  const time::FileTime odd = 0x01D9889A3C7E0F15;
  EXPECT_EQ(FileTimeOf(TimestampOf(odd)), odd);
}

TEST(FileTimeConversionTest, TimeSetInFileTimes) {
  const FileTimestamps times{{0, 100}, {1, 0}, {2, 99}};
  EXPECT_EQ(times.FileTimes(), (FileTimeSet{kUnixEpoch + 1, kUnixEpoch + 10'000'000, kUnixEpoch + 20'000'000}));
}

class SetFileTimestampsTest : public ::testing::Test {
 protected:
  std::string MakeFile(const std::string& name) {
    const std::string path = (dir_.Path() / name).string();
    test::WriteBytes(path, {1, 2, 3});
    return path;
  }
  FileRecord Record(const std::string& path) { return ReadFileRecord(path).value_or(FileRecord{}); }

  const FileTimestamps newTimes_{{1'200'000'000, 7}, {1'200'000'001, 8}, {1'200'000'002, 9}};
  test::TempDir dir_;
};

TEST_F(SetFileTimestampsTest, SetsLastWriteAndLastAccessToTheNanosecond) {
  const std::string path = MakeFile("a.doc");
  ASSERT_EQ(SetFileTimestamps(path, newTimes_), SetTimesResult::Done);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mtim.tv_sec, 1'200'000'001);
  EXPECT_EQ(info.st_mtim.tv_nsec, 8);
  EXPECT_EQ(info.st_atim.tv_sec, 1'200'000'002);
  EXPECT_EQ(info.st_atim.tv_nsec, 9);
}

TEST_F(SetFileTimestampsTest, RefusesAReadOnlyFileEvenForRoot) {
  const std::string path = MakeFile("ro.doc");
  ::chmod(path.c_str(), 0444);
  const FileRecord before = Record(path);
  EXPECT_EQ(SetFileTimestamps(path, newTimes_), SetTimesResult::NotOpened);
  EXPECT_EQ(Record(path).times, before.times);
}

TEST_F(SetFileTimestampsTest, RefusesAFileAnotherProcessHolds) {
  const std::string path = MakeFile("held.doc");
  const FileRecord before = Record(path);
  for (const auto kind : {test::LockKind::OpenFileDescription, test::LockKind::Process}) {
    for (const bool exclusive : {true, false}) {
      SCOPED_TRACE(::testing::Message() << "exclusive " << exclusive << " kind " << static_cast<int>(kind));
      test::LockHolder holder(path, exclusive, kind);
      ASSERT_TRUE(holder.Holding());
      EXPECT_EQ(SetFileTimestamps(path, newTimes_), SetTimesResult::NotOpened) << "opened exclusively, so readers block too";
    }
  }
  EXPECT_EQ(Record(path).times, before.times);
  EXPECT_EQ(SetFileTimestamps(path, newTimes_), SetTimesResult::Done) << "once they let go";
}

TEST_F(SetFileTimestampsTest, MissingFilesAndFoldersAreNotOpened) {
  EXPECT_EQ(SetFileTimestamps((dir_.Path() / "missing.doc").string(), newTimes_), SetTimesResult::NotOpened);
  EXPECT_EQ(SetFileTimestamps(dir_.Path().string(), newTimes_), SetTimesResult::NotOpened);
}

TEST_F(SetFileTimestampsTest, GoesThroughTheFileDoor) {
  const std::string path = MakeFile("door.doc");
  const FileRecord before = Record(path);
  SetFileOpener([](const std::string&, OpenMode) { return OpenResult{nullptr, OpenFailure::Locked}; });
  const SetTimesResult refused = SetFileTimestamps(path, newTimes_);
  SetFileOpener({});
  EXPECT_EQ(refused, SetTimesResult::NotOpened);
  EXPECT_EQ(Record(path).times, before.times);
}

TEST(FileRecordTest, LinksCountByTheirTargetAndFoldersAreNoFiles) {
  test::TempDir dir;
  const stdfs::path file = dir.Path() / "target.doc";
  test::WriteBytes(file, {1});
  stdfs::create_symlink(file, dir.Path() / "link.doc");
  stdfs::create_directory(dir.Path() / "folder.doc");
  stdfs::create_symlink(dir.Path() / "folder.doc", dir.Path() / "folderlink.doc");
  stdfs::create_symlink(dir.Path() / "missing.doc", dir.Path() / "dangling.doc");

  EXPECT_TRUE(FileExistsAsFile(file.string()));
  EXPECT_TRUE(FileExistsAsFile((dir.Path() / "link.doc").string()));
  for (const char* name : {"folder.doc", "folderlink.doc", "dangling.doc", "missing.doc"}) {
    EXPECT_FALSE(FileExistsAsFile((dir.Path() / name).string())) << name;
    EXPECT_FALSE(ReadFileRecord((dir.Path() / name).string()).has_value()) << name;
  }
  const std::optional<FileRecord> linked = ReadFileRecord((dir.Path() / "link.doc").string());
  ASSERT_TRUE(linked.has_value());
  EXPECT_EQ(linked->times, ReadFileRecord(file.string())->times);

  ::chmod(file.c_str(), 0444);
  EXPECT_TRUE(FileExistsAsFile(file.string())) << "read-only files count";
}

}  // namespace
}  // namespace kestrel::fs
