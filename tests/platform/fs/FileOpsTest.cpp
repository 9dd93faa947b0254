// Copying (a complete copy of the source's state that takes the target's name in one step, never
// leaving a partial file), deleting and listing files.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/fs/FileOps.h"
#include "platform/fs/FileState.h"
#include "tests/support/FaultyFiles.h"
#include "tests/support/LockHolder.h"
#include "tests/support/TestSupport.h"

namespace kestrel::fs {
namespace {

namespace stdfs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes Pattern(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  return bytes;
}

std::uint32_t Mode(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0);
  return info.st_mode & 07777;
}

std::set<std::string> Names(const stdfs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : stdfs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

Outcome Copy(const std::string& source, const std::string& target) {
  Result<std::unique_ptr<PendingCopy>> copy = WritePendingCopy(source, target);
  return copy ? (*copy)->Replace(FolderSync::Now) : copy.outcome();
}

class CopyFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteBytes(source_, Pattern(3 << 19));  // more than one copy piece
    ::chmod(source_.c_str(), 0640);
    ASSERT_TRUE(SetFileAttributes(source_, kAttributeHidden | kAttributeArchive));
    ASSERT_EQ(SetFileTimestamps(source_, {{1'100'000'000, 1}, {1'200'000'000, 123'456'789}, {1'300'000'000, 3}}),
              SetTimesResult::Done);
  }
  FileRecord Record(const std::string& path) { return ReadFileRecord(path).value_or(FileRecord{}); }

  test::TempDir dir_;
  const std::string source_ = (dir_.Path() / "report.doc").string();
  const std::string target_ = (dir_.Path() / "report.doc.bak").string();
};

TEST_F(CopyFileTest, CarriesContentModeAttributesAndTheThreeTimes) {
  const FileRecord source = Record(source_);
  ASSERT_TRUE(Copy(source_, target_));
  const FileRecord copy = Record(target_);  // before reading it, which may move its last access
  EXPECT_EQ(test::ReadBytes(target_), test::ReadBytes(source_));
  EXPECT_EQ(Mode(target_), 0640u);
  EXPECT_EQ(copy.attributes, kAttributeHidden | kAttributeArchive);
  EXPECT_EQ(copy.times, source.times) << "to the nanosecond, the creation time included";
  EXPECT_EQ(Names(dir_.Path()), (std::set<std::string>{"report.doc", "report.doc.bak"}));
}

TEST_F(CopyFileTest, ReadOnlySourceGivesAReadOnlyCopy) {
  ASSERT_TRUE(SetFileAttributes(source_, kAttributeReadOnly | kAttributeSystem));
  ASSERT_TRUE(Copy(source_, target_));
  EXPECT_EQ(Record(target_).attributes, kAttributeReadOnly | kAttributeSystem);
  EXPECT_EQ(Mode(target_), 0440u);
}

TEST_F(CopyFileTest, ReplacesAnExistingFile) {
  test::WriteBytes(target_, {9, 9, 9});
  ::chmod(target_.c_str(), 0600);
  ASSERT_TRUE(Copy(source_, target_));
  EXPECT_EQ(test::ReadBytes(target_), test::ReadBytes(source_));
  EXPECT_EQ(Mode(target_), 0640u) << "the source's permission bits, not the replaced file's";
}

// Whatever stands at the target's name is replaced as a name and never written through: a file
// of any attributes, a symbolic link to another file or to the source, a hard link to the source.
TEST_F(CopyFileTest, ReplacesWhateverStandsAtTheNameWithoutFollowingIt) {
  const std::string other = (dir_.Path() / "other.txt").string();
  const Bytes source = test::ReadBytes(source_);
  const std::vector<std::pair<const char*, std::function<void()>>> inTheWay = {
      {"read-only file", [&] { test::WriteBytes(target_, {9}); ASSERT_TRUE(SetFileAttributes(target_, kAttributeReadOnly)); }},
      {"link to another file", [&] { ASSERT_EQ(::symlink(other.c_str(), target_.c_str()), 0); }},
      {"link to the source", [&] { ASSERT_EQ(::symlink(source_.c_str(), target_.c_str()), 0); }},
      {"hard link to the source", [&] { ASSERT_EQ(::link(source_.c_str(), target_.c_str()), 0); }},
  };
  for (const auto& [what, place] : inTheWay) {
    SCOPED_TRACE(what);
    test::WriteBytes(other, {7, 7});
    place();
    ASSERT_TRUE(Copy(source_, target_));
    EXPECT_FALSE(stdfs::is_symlink(target_));
    EXPECT_EQ(stdfs::hard_link_count(target_), 1u);
    EXPECT_EQ(test::ReadBytes(target_), source);
    EXPECT_EQ(test::ReadBytes(source_), source);
    EXPECT_EQ(test::ReadBytes(other), (Bytes{7, 7}));
    EXPECT_EQ(Record(target_).attributes, kAttributeHidden | kAttributeArchive);
    stdfs::remove(target_);
  }
}

TEST_F(CopyFileTest, FolderInTheWayFails) {
  stdfs::create_directory(target_);
  test::WriteBytes(stdfs::path(target_) / "inside.txt", {1});
  EXPECT_FALSE(Copy(source_, target_));
  EXPECT_TRUE(stdfs::is_directory(target_));
  EXPECT_EQ(Names(target_), (std::set<std::string>{"inside.txt"}));
  EXPECT_EQ(Names(dir_.Path()), (std::set<std::string>{"report.doc", "report.doc.bak"})) << "nothing left behind";
}

TEST_F(CopyFileTest, MissingSourceCreatesNothing) {
  EXPECT_FALSE(Copy((dir_.Path() / "missing.doc").string(), target_));
  EXPECT_FALSE(stdfs::exists(target_));
  EXPECT_FALSE(Copy(dir_.Path().string(), target_)) << "a folder is no source";
  EXPECT_EQ(Names(dir_.Path()), (std::set<std::string>{"report.doc"}));
}

TEST_F(CopyFileTest, SourceAnotherProgramWritesIsRefused) {
  for (const auto kind : {test::LockKind::OpenFileDescription, test::LockKind::Process}) {
    test::LockHolder writer(source_, true, kind);
    ASSERT_TRUE(writer.Holding());
    EXPECT_FALSE(Copy(source_, target_));
    EXPECT_FALSE(stdfs::exists(target_));
  }
  test::LockHolder reader(source_, false);
  ASSERT_TRUE(reader.Holding());
  EXPECT_TRUE(Copy(source_, target_)) << "another reader does not stop a copy";
}

TEST_F(CopyFileTest, FailedWriteLeavesNoPartialCopy) {
  test::WriteBytes(target_, {9, 9, 9});
  for (const std::size_t failAt : {1u, 2u}) {
    SCOPED_TRACE(failAt);
    test::FaultyFiles faulty(failAt);
    EXPECT_FALSE(Copy(source_, target_));
    EXPECT_GE(faulty.Writes(), failAt) << "the copy goes through the file door";
    EXPECT_EQ(test::ReadBytes(target_), (Bytes{9, 9, 9})) << "the old file stays whole";
    EXPECT_EQ(Names(dir_.Path()), (std::set<std::string>{"report.doc", "report.doc.bak"}));
  }
  stdfs::remove(target_);
  test::FaultyFiles faulty(2);
  EXPECT_FALSE(Copy(source_, target_));
  EXPECT_EQ(Names(dir_.Path()), (std::set<std::string>{"report.doc"}));
}

TEST_F(CopyFileTest, CopyIsSyncedBeforeItTakesTheName) {
  test::FaultyFiles counting(0);
  ASSERT_TRUE(Copy(source_, target_));
  const auto& log = counting.Log();
  ASSERT_FALSE(log.empty());
  EXPECT_TRUE(log.back().sync) << "the last thing done to the new file is a sync";
}

TEST(EnumerateFolderFilesTest, ListsFilesInTheFileSystemsOrder) {
  test::TempDir dir;
  for (const char* name : {"a.doc", "B.DOCX", "c.docm", "~$a.doc", ".hidden.doc", "議事録.doc"}) {
    test::WriteBytes(dir.Path() / name, {1});
  }
  ::chmod((dir.Path() / "a.doc").c_str(), 0444);
  stdfs::create_directory(dir.Path() / "sub.doc");
  test::WriteBytes(dir.Path() / "sub.doc" / "inner.doc", {1});
  stdfs::create_symlink(dir.Path() / "a.doc", dir.Path() / "link.doc");
  stdfs::create_symlink(dir.Path() / "sub.doc", dir.Path() / "folderlink.doc");
  stdfs::create_symlink(dir.Path() / "none.doc", dir.Path() / "dangling.doc");

  const std::vector<std::string> names = EnumerateFolderFiles(dir.Path().string());
  std::vector<std::string> expected;  // readdir's order, as the standard library also lists it
  for (const auto& entry : stdfs::directory_iterator(dir.Path())) {
    if (stdfs::is_regular_file(entry.path())) expected.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, expected);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
            (std::set<std::string>{"a.doc", "B.DOCX", "c.docm", "~$a.doc", ".hidden.doc", "議事録.doc", "link.doc"}));
  EXPECT_EQ(EnumerateFolderFiles(dir.Path().string() + "/"), names);
}

TEST(EnumerateFolderFilesTest, MissingFolderOrAFileGivesNothing) {
  test::TempDir dir;
  test::WriteBytes(dir.Path() / "a.doc", {1});
  EXPECT_TRUE(EnumerateFolderFiles((dir.Path() / "missing").string()).empty());
  EXPECT_TRUE(EnumerateFolderFiles((dir.Path() / "a.doc").string()).empty());
}

}  // namespace
}  // namespace kestrel::fs
