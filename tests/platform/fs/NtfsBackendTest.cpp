// The NTFS backend on a real ntfs-3g mount of a freshly formatted image: the attribute word and
// the creation time are NTFS's own, read and written through ntfs-3g's system attributes.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include "platform/fs/FileOps.h"
#include "platform/fs/FileState.h"
#include "tests/platform/fs/ScratchFileSystem.h"
#include "tests/support/TestSupport.h"

namespace kestrel::fs {
namespace {

constexpr std::uint32_t kRHSA = kAttributeReadOnly | kAttributeHidden | kAttributeSystem | kAttributeArchive;
constexpr std::uint32_t kNormal = 0x80;

template <typename T>
std::optional<T> BigEndianAttribute(const std::string& path, const char* name) {
  std::uint8_t bytes[sizeof(T)] = {};
  if (::getxattr(path.c_str(), name, bytes, sizeof bytes) != static_cast<ssize_t>(sizeof bytes)) return std::nullopt;
  T value = 0;
  for (const std::uint8_t byte : bytes) value = static_cast<T>((value << 8) | byte);
  return value;
}

std::optional<std::uint32_t> NtfsAttrib(const std::string& path) {
  return BigEndianAttribute<std::uint32_t>(path, "system.ntfs_attrib_be");
}
std::optional<std::uint64_t> NtfsCreation(const std::string& path) {
  return BigEndianAttribute<std::uint64_t>(path, "system.ntfs_crtime_be");
}

Timestamp ChangeTime(const std::string& path) {
  struct statx info {};
  EXPECT_EQ(::statx(AT_FDCWD, path.c_str(), 0, STATX_CTIME, &info), 0);
  return {info.stx_ctime.tv_sec, info.stx_ctime.tv_nsec};
}

class NtfsBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ntfs_.Mounted()) GTEST_SKIP() << ntfs_.SkipReason();
  }

  std::string MakeFile(const std::string& name) {
    const std::string path = (ntfs_.Path() / name).string();
    test::WriteBytes(path, {'d', 'o', 'c'});
    return path;
  }

  FileRecord Record(const std::string& path) {
    std::optional<FileRecord> record = ReadFileRecord(path);
    EXPECT_TRUE(record.has_value()) << path;
    return record.value_or(FileRecord{});
  }

  test::ScratchFileSystem ntfs_{test::ScratchFileSystem::Kind::NtfsFuse};
};

TEST_F(NtfsBackendTest, ReadsNtfsOwnWordAndCreationTime) {
  const std::string path = MakeFile("new.doc");
  const FileRecord record = Record(path);
  EXPECT_EQ(record.backend, Backend::NtfsFuse);
  EXPECT_EQ(record.attributes, NtfsAttrib(path));
  EXPECT_EQ(record.attributes, kAttributeArchive) << "NTFS marks a new file for archiving";
  ASSERT_TRUE(NtfsCreation(path).has_value());
  EXPECT_EQ(FileTimeOf(record.times.creation), *NtfsCreation(path));
  EXPECT_FALSE(record.dosAttrib.has_value());
}

TEST_F(NtfsBackendTest, EveryCombinationOfTheFourBitsRoundTrips) {
  const std::string path = MakeFile("combo.doc");
  for (std::uint32_t word = 0; word <= kRHSA; ++word) {
    if ((word & ~kRHSA) != 0) continue;
    SCOPED_TRACE(word);
    ASSERT_TRUE(SetFileAttributes(path, word));
    const std::optional<std::uint32_t> stored = NtfsAttrib(path);
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(*stored & kRHSA, word);
    EXPECT_EQ(Record(path).attributes & kRHSA, word);
  }
  ASSERT_TRUE(SetFileAttributes(path, 0));
  EXPECT_EQ(NtfsAttrib(path), kNormal) << "a file with no bit reads as normal";
  EXPECT_EQ(Record(path).attributes & kRHSA, 0u);
}

TEST_F(NtfsBackendTest, TimesAreSetToTheHundredNanoseconds) {
  const std::string path = MakeFile("times.doc");
  const FileTimestamps times{{1'600'000'000, 123'456'789}, {1'500'000'000, 987'654'321}, {1'400'000'000, 555}};
  ASSERT_EQ(SetFileTimestamps(path, times), SetTimesResult::Done);
  EXPECT_EQ(NtfsCreation(path), FileTimeOf(times.creation));
  const FileRecord record = Record(path);
  EXPECT_EQ(record.times.creation, (Timestamp{1'600'000'000, 123'456'700}));
  EXPECT_EQ(record.times.lastWrite, (Timestamp{1'500'000'000, 987'654'300}));
  EXPECT_EQ(record.times.lastAccess, (Timestamp{1'400'000'000, 500}));
  EXPECT_EQ(record.times.FileTimes(), times.FileTimes());
  EXPECT_EQ(record.attributes, kAttributeArchive) << "setting times leaves the word alone";
}

TEST_F(NtfsBackendTest, ReadOnlyWordRefusesTheTimesThoughTheModeIsWritable) {
  const std::string path = MakeFile("ro.doc");
  ASSERT_TRUE(SetFileAttributes(path, kAttributeReadOnly));
  const FileRecord record = Record(path);
  FileTimestamps times = record.times;
  times.lastWrite = {1'000'000'000, 0};
  EXPECT_EQ(SetFileTimestamps(path, times), SetTimesResult::NotOpened);
  EXPECT_EQ(Record(path).times, record.times);
  EXPECT_TRUE(FileExistsAsFile(path));
}

TEST_F(NtfsBackendTest, RestoreUndoesEveryChangeExactly) {
  const std::string path = MakeFile("restore.doc");
  ASSERT_TRUE(SetFileAttributes(path, kAttributeSystem | kAttributeArchive));
  ASSERT_EQ(SetFileTimestamps(path, {{1'300'000'000, 100}, {1'300'000'001, 200}, {1'300'000'002, 300}}), SetTimesResult::Done);
  const FileRecord record = Record(path);
  const std::optional<std::uint32_t> word = NtfsAttrib(path);

  ASSERT_TRUE(SetFileAttributes(path, kAttributeHidden));
  ASSERT_EQ(SetFileTimestamps(path, {{1'700'000'000, 0}, {1'700'000'001, 0}, {1'700'000'002, 0}}), SetTimesResult::Done);
  ASSERT_TRUE(SetFileAttributes(path, kAttributeReadOnly | kAttributeHidden));

  ASSERT_TRUE(SetFileAttributes(path, record.attributes & ~kAttributeReadOnly));
  ASSERT_EQ(SetFileTimestamps(path, record.times), SetTimesResult::Done);
  ASSERT_TRUE(RestoreFileAttributes(path, record));
  EXPECT_EQ(NtfsAttrib(path), word);
  EXPECT_EQ(Record(path).times, record.times);
  EXPECT_EQ(Record(path).attributes, record.attributes);
}

TEST_F(NtfsBackendTest, RestoreWithNothingToDoLeavesTheChangeTimeAlone) {
  const std::string path = MakeFile("still.doc");
  ASSERT_TRUE(SetFileAttributes(path, kAttributeHidden));
  const FileRecord record = Record(path);
  const Timestamp changed = ChangeTime(path);
  ASSERT_TRUE(RestoreFileAttributes(path, record));
  ASSERT_EQ(SetFileTimestamps(path, record.times), SetTimesResult::Done);
  EXPECT_EQ(ChangeTime(path), changed);
}

TEST_F(NtfsBackendTest, CopyCarriesContentWordAndTimes) {
  const std::string source = MakeFile("source.doc");
  test::WriteBytes(source, std::vector<std::uint8_t>(100'000, 0x5A));
  ASSERT_TRUE(SetFileAttributes(source, kAttributeReadOnly | kAttributeHidden | kAttributeArchive));
  const FileRecord from = Record(source);
  const std::string target = source + ".bak";
  Result<std::unique_ptr<PendingCopy>> copied = WritePendingCopy(source, target);
  ASSERT_TRUE(copied && (*copied)->Replace(FolderSync::Now));
  const FileRecord copy = Record(target);  // before reading it, which may move its last access
  EXPECT_EQ(test::ReadBytes(target), test::ReadBytes(source));
  EXPECT_EQ(copy.attributes, from.attributes);
  EXPECT_EQ(copy.times, from.times);
}

}  // namespace
}  // namespace kestrel::fs
