// The Generic backend on the machine's own temporary folder and on tmpfs: permission bits carry
// read-only, Samba's user.DOSATTRIB blob carries the rest and the creation time.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include "platform/LittleEndian.h"
#include "platform/fs/DosAttribBlob.h"
#include "platform/fs/FileState.h"
#include "tests/platform/fs/ScratchFileSystem.h"
#include "tests/support/OrdinaryUser.h"
#include "tests/support/TestSupport.h"

namespace kestrel::fs {
namespace {

namespace stdfs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kBlobName = "user.DOSATTRIB";
constexpr std::uint32_t kRHSA = kAttributeReadOnly | kAttributeHidden | kAttributeSystem | kAttributeArchive;
// 2023-05-17 08:33:20.5375765 UTC.
constexpr time::FileTime kSambaCreateTime = 0x01D9889A3C7E0F15;

std::optional<Bytes> Blob(const std::string& path) {
  Bytes bytes(1024);
  const ssize_t got = ::getxattr(path.c_str(), kBlobName, bytes.data(), bytes.size());
  if (got < 0) return std::nullopt;
  bytes.resize(static_cast<std::size_t>(got));
  return bytes;
}

void PutBlob(const std::string& path, const Bytes& bytes) {
  ASSERT_EQ(::setxattr(path.c_str(), kBlobName, bytes.data(), bytes.size(), 0), 0) << path;
}

Bytes LittleEndian(std::uint64_t value, std::size_t size) {
  Bytes bytes;
  le::Append(bytes, value, size);
  return bytes;
}

Bytes Join(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

// Samba 4.17's blob for a file set to R|H|S|A.
Bytes SambaV5Blob(std::uint32_t attributes, time::FileTime createTime) {
  return Join(Join({0x00, 0x00, 0x05, 0x00, 0x05, 0x00, 0x00, 0x00, 0x11, 0x00, 0x00, 0x00}, LittleEndian(attributes, 4)),
              LittleEndian(createTime, 8));
}

std::uint32_t Mode(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0);
  return info.st_mode & 07777;
}

Timestamp ChangeTime(const std::string& path) {
  struct statx info {};
  EXPECT_EQ(::statx(AT_FDCWD, path.c_str(), 0, STATX_CTIME, &info), 0);
  return {info.stx_ctime.tv_sec, info.stx_ctime.tv_nsec};
}

enum class Folder { MachineTemp, Tmpfs };

class GenericBackendTest : public ::testing::TestWithParam<Folder> {
 protected:
  void SetUp() override {
    if (GetParam() == Folder::MachineTemp) {
      folder_ = dir_.Path();
      return;
    }
    scratch_ = std::make_unique<test::ScratchFileSystem>(test::ScratchFileSystem::Kind::Tmpfs);
    if (!scratch_->Mounted()) GTEST_SKIP() << scratch_->SkipReason();
    folder_ = scratch_->Path();
  }

  // A new file with mode 0664 and no blob.
  std::string MakeFile(const std::string& name) {
    const std::string path = (folder_ / name).string();
    test::WriteBytes(path, {'d', 'o', 'c'});
    ::chmod(path.c_str(), 0664);
    return path;
  }

  FileRecord Record(const std::string& path) {
    std::optional<FileRecord> record = ReadFileRecord(path);
    EXPECT_TRUE(record.has_value()) << path;
    return record.value_or(FileRecord{});
  }

  test::TempDir dir_;
  std::unique_ptr<test::ScratchFileSystem> scratch_;
  stdfs::path folder_;
};

TEST_P(GenericBackendTest, NewFileHasNoAttributesAndItsBirthTime) {
  const std::string path = MakeFile("new.doc");
  const FileRecord record = Record(path);
  EXPECT_EQ(record.backend, Backend::Generic);
  EXPECT_EQ(record.attributes, 0u);
  EXPECT_EQ(record.mode, 0664u);
  EXPECT_FALSE(record.dosAttrib.has_value());

  struct statx info {};
  ASSERT_EQ(::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &info), 0);
  const Timestamp birth = (info.stx_mask & STATX_BTIME) != 0 ? Timestamp{info.stx_btime.tv_sec, info.stx_btime.tv_nsec}
                                                             : Timestamp{info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec};
  EXPECT_EQ(record.times.creation, birth) << "no blob: the birth time, else the last write";
  EXPECT_EQ(record.times.lastWrite, (Timestamp{info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec}));
  EXPECT_EQ(record.times.lastAccess, (Timestamp{info.stx_atime.tv_sec, info.stx_atime.tv_nsec}));
}

TEST_P(GenericBackendTest, EveryCombinationOfTheFourBitsRoundTrips) {
  for (std::uint32_t word = 0; word <= kRHSA; ++word) {
    if ((word & ~kRHSA) != 0) continue;
    SCOPED_TRACE(word);
    const std::string path = MakeFile("combo" + std::to_string(word) + ".doc");
    ASSERT_TRUE(SetFileAttributes(path, word));
    const FileRecord record = Record(path);
    EXPECT_EQ(record.attributes, word);
    const bool readOnly = (word & kAttributeReadOnly) != 0;
    EXPECT_EQ(Mode(path), readOnly ? 0444u : 0664u) << "read-only is a-w, nothing else changes the mode";

    const std::optional<Bytes> blob = Blob(path);
    if ((word & ~kAttributeReadOnly) == 0) {
      EXPECT_FALSE(blob.has_value()) << "a file without hidden, system or archive needs no blob";
      continue;
    }
    ASSERT_TRUE(blob.has_value());
    const std::optional<DosAttribBlob> parsed = ParseDosAttribBlob(*blob);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->version, 3);
    EXPECT_EQ(parsed->attributes, word) << "the blob holds read-only too, as Samba keeps it";

    // And back to nothing: the blob stays, saying so.
    ASSERT_TRUE(SetFileAttributes(path, 0));
    EXPECT_EQ(Record(path).attributes, 0u);
    EXPECT_EQ(Mode(path), readOnly ? 0644u : 0664u) << "clearing read-only is u+w";
  }
}

TEST_P(GenericBackendTest, NewBlobIsSambaVersion3) {
  const std::string path = MakeFile("hidden.doc");
  ASSERT_TRUE(SetFileAttributes(path, kAttributeHidden | kAttributeArchive));
  // "0x22" NUL, pad, version 3, level 3, valid_flags = ATTRIB, attrib, ea_size, size,
  // alloc_size, create_time, change_time.
  const Bytes expected = Join(Join({'0', 'x', '2', '2', 0, 0, 3, 0, 3, 0, 0, 0}, LittleEndian(0x01, 4)),
                              Join(LittleEndian(0x22, 4), Bytes(4 + 8 * 4, 0)));
  EXPECT_EQ(Blob(path), expected);
}

TEST_P(GenericBackendTest, ReadOnlyInTheBlobCountsAndIsClearedThere) {
  const std::string path = MakeFile("samba.doc");
  PutBlob(path, SambaV5Blob(kRHSA, kSambaCreateTime));
  const FileRecord record = Record(path);
  EXPECT_EQ(record.attributes, kRHSA) << "read-only from the blob, though the owner may write";
  EXPECT_EQ(record.times.creation, TimestampOf(kSambaCreateTime));
  EXPECT_EQ(FileTimeOf(record.times.creation), kSambaCreateTime);

  ASSERT_TRUE(SetFileAttributes(path, kAttributeHidden));
  EXPECT_EQ(Blob(path), SambaV5Blob(kAttributeHidden, kSambaCreateTime)) << "version 5 and its create time kept";
  EXPECT_EQ(Mode(path), 0664u);
  EXPECT_EQ(Record(path).attributes, kAttributeHidden);

  ASSERT_TRUE(SetFileAttributes(path, kAttributeReadOnly | kAttributeSystem));
  EXPECT_EQ(Blob(path), SambaV5Blob(kAttributeReadOnly | kAttributeSystem, kSambaCreateTime));
  EXPECT_EQ(Mode(path), 0444u);
}

TEST_P(GenericBackendTest, ReadOnlyInTheBlobRefusesTheTimes) {
  const std::string path = MakeFile("samba-ro.doc");
  PutBlob(path, SambaV5Blob(kAttributeReadOnly, kSambaCreateTime));
  FileTimestamps times = Record(path).times;
  times.lastWrite = {1'000'000'000, 0};
  EXPECT_EQ(SetFileTimestamps(path, times), SetTimesResult::NotOpened);
  EXPECT_NE(Record(path).times.lastWrite, times.lastWrite);
}

TEST_P(GenericBackendTest, OtherBitsOfAForeignBlobAreKept) {
  const std::string path = MakeFile("foreign.doc");
  // Not-content-indexed (0x2000) and archive, version 5.
  PutBlob(path, SambaV5Blob(0x2020, kSambaCreateTime));
  EXPECT_EQ(Record(path).attributes, kAttributeArchive);
  ASSERT_TRUE(SetFileAttributes(path, kAttributeSystem));
  EXPECT_EQ(Blob(path), SambaV5Blob(0x2004, kSambaCreateTime));
}

TEST_P(GenericBackendTest, UnreadableBlobIsKeptUntilChangedAndPutBackAsItWas) {
  const std::string path = MakeFile("garbage.doc");
  const Bytes garbage = {'0', 'x', 'z', 0, 9, 9};
  PutBlob(path, garbage);
  const FileRecord record = Record(path);
  EXPECT_EQ(record.attributes, 0u);
  EXPECT_EQ(record.dosAttrib, garbage);
  ASSERT_TRUE(SetFileAttributes(path, kAttributeHidden));
  EXPECT_EQ(Record(path).attributes, kAttributeHidden) << "replaced by a new blob";
  ASSERT_TRUE(RestoreFileAttributes(path, record));
  EXPECT_EQ(Blob(path), garbage);
}

TEST_P(GenericBackendTest, SetAttributesFailsForAMissingFileOrAFolder) {
  EXPECT_FALSE(SetFileAttributes((folder_ / "missing.doc").string(), kAttributeHidden));
  stdfs::create_directory(folder_ / "sub");
  EXPECT_FALSE(SetFileAttributes((folder_ / "sub").string(), kAttributeHidden));
  EXPECT_FALSE(Blob((folder_ / "sub").string()).has_value());
}

TEST_P(GenericBackendTest, CreationTimeGoesIntoTheBlob) {
  const std::string path = MakeFile("created.doc");
  const FileRecord before = Record(path);
  FileTimestamps times = before.times;
  times.creation = {1'600'000'000, 123'456'789};
  times.lastWrite = {1'500'000'000, 987'654'321};
  times.lastAccess = {1'400'000'000, 1};
  ASSERT_EQ(SetFileTimestamps(path, times), SetTimesResult::Done);

  const FileRecord after = Record(path);
  EXPECT_EQ(after.times.creation, (Timestamp{1'600'000'000, 123'456'700})) << "the blob keeps 100 ns units";
  EXPECT_EQ(after.times.lastWrite, times.lastWrite) << "to the nanosecond";
  EXPECT_EQ(after.times.lastAccess, times.lastAccess);
  EXPECT_EQ(after.attributes, 0u);
  const std::optional<DosAttribBlob> blob = ParseDosAttribBlob(Blob(path).value_or(Bytes{}));
  ASSERT_TRUE(blob.has_value());
  EXPECT_EQ(blob->version, 3);
  EXPECT_EQ(blob->ValidCreateTime(), FileTimeOf(times.creation));
  EXPECT_EQ(blob->attributes, 0u);
}

TEST_P(GenericBackendTest, CreationTimeOfASambaBlobKeepsItsVersion) {
  const std::string path = MakeFile("samba-created.doc");
  PutBlob(path, SambaV5Blob(kAttributeArchive, kSambaCreateTime));
  FileTimestamps times = Record(path).times;
  times.creation = TimestampOf(kSambaCreateTime + 5);
  ASSERT_EQ(SetFileTimestamps(path, times), SetTimesResult::Done);
  EXPECT_EQ(Blob(path), SambaV5Blob(kAttributeArchive, kSambaCreateTime + 5));
}

TEST_P(GenericBackendTest, UnchangedCreationTimeAddsNoBlob) {
  const std::string path = MakeFile("plain.doc");
  FileTimestamps times = Record(path).times;
  times.lastWrite = {1'000'000'000, 5};
  // The creation time as shown, also when given only to 100 ns.
  times.creation = TimestampOf(FileTimeOf(times.creation));
  ASSERT_EQ(SetFileTimestamps(path, times), SetTimesResult::Done);
  EXPECT_FALSE(Blob(path).has_value());
  EXPECT_EQ(Record(path).times.lastWrite, times.lastWrite);
}

TEST_P(GenericBackendTest, RestoreUndoesEveryChangeExactly) {
  const std::string path = MakeFile("restore.doc");
  ::chmod(path.c_str(), 0640);
  // A v4 blob with an itime and a bit we do not show.
  DosAttribBlob foreign;
  foreign.version = 4;
  foreign.validFlags = kDosInfoAttrib | kDosInfoCreateTime | kDosInfoITime;
  foreign.attributes = 0x2000 | kAttributeArchive;
  foreign.itime = 0x01D0000000000077;
  foreign.createTime = kSambaCreateTime;
  const Bytes foreignBytes = EncodeDosAttribBlob(foreign);
  PutBlob(path, foreignBytes);
  ASSERT_EQ(SetFileTimestamps(path, {TimestampOf(kSambaCreateTime), {1'234'567'890, 123'456'789}, {1'234'567'891, 999'999'999}}),
            SetTimesResult::Done);
  const FileRecord record = Record(path);
  ASSERT_EQ(record.dosAttrib, foreignBytes);

  // What a change does to the file: read-only and hidden, new times.
  ASSERT_TRUE(SetFileAttributes(path, kAttributeReadOnly | kAttributeHidden));
  ASSERT_TRUE(SetFileAttributes(path, kAttributeHidden));
  ASSERT_EQ(SetFileTimestamps(path, {{1'700'000'000, 0}, {1'700'000'001, 0}, {1'700'000'002, 0}}), SetTimesResult::Done);
  ASSERT_TRUE(SetFileAttributes(path, kAttributeReadOnly | kAttributeHidden));

  // Putting it back as the document reading does: writable, times, then the recorded state.
  ASSERT_TRUE(SetFileAttributes(path, record.attributes & ~kAttributeReadOnly));
  ASSERT_EQ(SetFileTimestamps(path, record.times), SetTimesResult::Done);
  ASSERT_TRUE(RestoreFileAttributes(path, record));

  const FileRecord after = Record(path);
  EXPECT_EQ(Blob(path), foreignBytes) << "byte for byte";
  EXPECT_EQ(Mode(path), 0640u);
  EXPECT_EQ(after.times, record.times);
  EXPECT_EQ(after.attributes, record.attributes);
  EXPECT_EQ(after.mode, record.mode);
}

TEST_P(GenericBackendTest, RestoreRemovesABlobThatWasNotThere) {
  const std::string path = MakeFile("noblob.doc");
  const FileRecord record = Record(path);
  ASSERT_TRUE(SetFileAttributes(path, kAttributeReadOnly | kAttributeSystem));
  ASSERT_TRUE(Blob(path).has_value());
  ASSERT_TRUE(RestoreFileAttributes(path, record));
  EXPECT_FALSE(Blob(path).has_value());
  EXPECT_EQ(errno, ENODATA);
  EXPECT_EQ(Mode(path), 0664u);
}

TEST_P(GenericBackendTest, RestoreOfAReadOnlyFileWithABlob) {
  const std::string path = MakeFile("ro.doc");
  ASSERT_TRUE(SetFileAttributes(path, kAttributeReadOnly | kAttributeHidden));
  ::chmod(path.c_str(), 0440);
  const FileRecord record = Record(path);
  ASSERT_EQ(record.attributes, kAttributeReadOnly | kAttributeHidden);

  ASSERT_TRUE(SetFileAttributes(path, kAttributeArchive));
  ASSERT_TRUE(RestoreFileAttributes(path, record));
  EXPECT_EQ(Mode(path), 0440u);
  EXPECT_EQ(Blob(path), record.dosAttrib);
  EXPECT_EQ(Record(path).attributes, kAttributeReadOnly | kAttributeHidden);
}

TEST_P(GenericBackendTest, RestoreWithNothingToDoLeavesTheChangeTimeAlone) {
  for (const std::uint32_t word : {0u, kAttributeReadOnly, kAttributeReadOnly | kAttributeHidden, kAttributeSystem}) {
    SCOPED_TRACE(word);
    const std::string path = MakeFile("still" + std::to_string(word) + ".doc");
    ASSERT_TRUE(SetFileAttributes(path, word));
    const FileRecord record = Record(path);
    const Timestamp changed = ChangeTime(path);
    ASSERT_TRUE(RestoreFileAttributes(path, record));
    if (word & kAttributeReadOnly) {
      EXPECT_EQ(SetFileTimestamps(path, record.times), SetTimesResult::NotOpened);
    } else {
      EXPECT_EQ(SetFileTimestamps(path, record.times), SetTimesResult::Done);
    }
    EXPECT_EQ(ChangeTime(path), changed) << "nothing was written";
    EXPECT_EQ(Record(path).times, record.times);
  }
}

TEST_P(GenericBackendTest, OrderLetsAnOwnerWhoIsNotRootChangeEverything) {
  ::chmod(folder_.c_str(), 0755);
  const std::string path = MakeFile("owned.doc");
  test::GiveToOrdinaryUser(path);
  const FileRecord plain = Record(path);

  ASSERT_TRUE(test::AsOrdinaryUser([&] { return SetFileAttributes(path, kAttributeReadOnly | kAttributeHidden).ok(); }));
  EXPECT_EQ(Mode(path), 0444u);
  EXPECT_EQ(Record(path).attributes, kAttributeReadOnly | kAttributeHidden) << "blob written before a-w";
  const FileRecord readOnly = Record(path);

  ASSERT_TRUE(test::AsOrdinaryUser([&] { return SetFileAttributes(path, kAttributeSystem).ok(); }));
  EXPECT_EQ(Mode(path), 0644u);
  EXPECT_EQ(Record(path).attributes, kAttributeSystem) << "u+w before the blob";

  ASSERT_TRUE(test::AsOrdinaryUser([&] { return RestoreFileAttributes(path, readOnly).ok(); }));
  EXPECT_EQ(Blob(path), readOnly.dosAttrib);
  EXPECT_EQ(Mode(path), 0444u);
  ASSERT_TRUE(test::AsOrdinaryUser([&] { return RestoreFileAttributes(path, plain).ok(); }));
  EXPECT_FALSE(Blob(path).has_value()) << "removed while writable";
  EXPECT_EQ(Mode(path), 0664u);
}

TEST_P(GenericBackendTest, RestoreFailsForAMissingFile) {
  const std::string path = MakeFile("gone.doc");
  const FileRecord record = Record(path);
  stdfs::remove(path);
  EXPECT_FALSE(RestoreFileAttributes(path, record));
  EXPECT_FALSE(ReadFileRecord(path).has_value());
}

INSTANTIATE_TEST_SUITE_P(Folders, GenericBackendTest, ::testing::Values(Folder::MachineTemp, Folder::Tmpfs),
                         [](const ::testing::TestParamInfo<Folder>& param) {
                           return param.param == Folder::MachineTemp ? std::string("MachineTemp") : std::string("Tmpfs");
                         });

}  // namespace
}  // namespace kestrel::fs
