#include "platform/fs/FileIo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

#include "tests/support/LockHolder.h"
#include "tests/support/OrdinaryUser.h"
#include "tests/support/TestSupport.h"

namespace kestrel::fs {
namespace {

namespace stdfs = std::filesystem;

class FileIoTest : public ::testing::Test {
 protected:
  std::string MakeFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    stdfs::path path = dir_.Path() / name;
    test::WriteBytes(path, bytes);
    return path.string();
  }
  test::TempDir dir_;
};

TEST_F(FileIoTest, ReadsAndWritesAtOffsetsAndGrowsTheFile) {
  std::string path = MakeFile("a.bin", {1, 2, 3, 4});
  OpenResult opened = OpenFile(path, OpenMode::ReadWrite);
  ASSERT_EQ(opened.error, OpenFailure::None);
  RandomAccessFile& file = *opened.file;
  EXPECT_EQ(file.Size(), 4u);

  std::array<std::uint8_t, 2> two{};
  ASSERT_TRUE(file.ReadAt(1, two.data(), two.size()));
  EXPECT_EQ(two, (std::array<std::uint8_t, 2>{2, 3}));
  EXPECT_FALSE(file.ReadAt(3, two.data(), two.size())) << "a read past the end is short";

  const std::array<std::uint8_t, 3> tail{7, 8, 9};
  ASSERT_TRUE(file.WriteAt(6, tail.data(), tail.size()));
  EXPECT_EQ(file.Size(), 9u);
  EXPECT_TRUE(file.Sync());
  EXPECT_EQ(test::ReadBytes(path), (std::vector<std::uint8_t>{1, 2, 3, 4, 0, 0, 7, 8, 9}));
}

// A file opened for reading answers reads from memory or the descriptor alike, refuses writes, and
// gives the same record as its path does, attribute store included.
TEST_F(FileIoTest, OpenForReadingReadsSmallAndLargeFilesAndRecordsThem) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{5}, std::size_t{3} << 20}) {
    SCOPED_TRACE(size);
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
    const std::string path = MakeFile("r" + std::to_string(size) + ".bin", bytes);
    ASSERT_TRUE(SetFileAttributes(path, kAttributeHidden | kAttributeReadOnly));
    OpenResult opened = OpenForReading(path);
    ASSERT_EQ(opened.error, OpenFailure::None);
    RandomAccessFile& file = *opened.file;
    EXPECT_EQ(file.Size(), size);
    std::vector<std::uint8_t> read(size);
    EXPECT_TRUE(file.ReadAt(0, read.data(), read.size()));
    EXPECT_EQ(read, bytes);
    std::uint8_t byte = 0;
    EXPECT_FALSE(file.ReadAt(size, &byte, 1)) << "a read past the end is short";
    EXPECT_FALSE(file.WriteAt(0, &byte, 1));
    const std::optional<FileRecord> onDescriptor = file.Record();
    const std::optional<FileRecord> byPath = ReadFileRecord(path);
    ASSERT_TRUE(onDescriptor && byPath);
    EXPECT_EQ(onDescriptor->attributes, byPath->attributes);
    EXPECT_EQ(onDescriptor->times, byPath->times);
    EXPECT_EQ(onDescriptor->mode, byPath->mode);
    EXPECT_EQ(onDescriptor->dosAttrib, byPath->dosAttrib);
    EXPECT_EQ(file.Identity(), OpenFile(path, OpenMode::Read).file->Identity());
  }
  EXPECT_EQ(OpenForReading((dir_.Path() / "gone.doc").string()).error, OpenFailure::NotFound);
}

TEST_F(FileIoTest, ReadModeCannotWrite) {
  std::string path = MakeFile("a.bin", {1, 2, 3});
  OpenResult opened = OpenFile(path, OpenMode::Read);
  ASSERT_EQ(opened.error, OpenFailure::None);
  const std::uint8_t byte = 9;
  EXPECT_FALSE(opened.file->WriteAt(0, &byte, 1));
  EXPECT_EQ(test::ReadBytes(path), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(FileIoTest, MissingFilesAndFoldersAreNotFound) {
  EXPECT_EQ(OpenFile((dir_.Path() / "missing.doc").string(), OpenMode::Read).error, OpenFailure::NotFound);
  EXPECT_EQ(OpenFile(dir_.Path().string(), OpenMode::Read).error, OpenFailure::NotFound);
  EXPECT_EQ(OpenFile(dir_.Path().string(), OpenMode::ReadWrite).error, OpenFailure::NotFound);
}

// A FIFO given a document's name would block an ordinary open until a writer came.
TEST_F(FileIoTest, FifoIsRefusedWithoutWaiting) {
  const std::string path = (dir_.Path() / "pipe.doc").string();
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  EXPECT_EQ(OpenFile(path, OpenMode::Read).error, OpenFailure::NotFound);
  EXPECT_EQ(OpenFile(path, OpenMode::ReadWrite).error, OpenFailure::NotFound);
}

// relatime would move an old last-access time on this read; looking must not.
TEST_F(FileIoTest, ReadingLeavesTheLastAccessTimeAlone) {
  const std::string path = MakeFile("old.doc", {1, 2, 3, 4});
  const struct timespec old[2] = {{946684800, 123456789}, {946684800, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
  {
    OpenResult opened = OpenFile(path, OpenMode::Read);
    ASSERT_EQ(opened.error, OpenFailure::None);
    std::array<std::uint8_t, 4> bytes{};
    ASSERT_TRUE(opened.file->ReadAt(0, bytes.data(), bytes.size()));
  }
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, old[0].tv_sec);
  EXPECT_EQ(st.st_atim.tv_nsec, old[0].tv_nsec);
}

// Read-only for root by its bit, for an ordinary user by the system itself: the same failure, with
// the system's words where it was the system. A file only read to be replaced needs no bit at all.
TEST_F(FileIoTest, ReadOnlyFileRefusesWriteModeEvenForRoot) {
  std::string path = MakeFile("ro.doc", {1, 2, 3});
  stdfs::permissions(path, stdfs::perms::owner_read | stdfs::perms::group_read);
  EXPECT_EQ(OpenFile(path, OpenMode::ReadWrite).error, OpenFailure::ReadOnly);
  EXPECT_EQ(OpenFile(path, OpenMode::Read).error, OpenFailure::None);
  EXPECT_EQ(OpenFile(path, OpenMode::ReadToReplace).error, OpenFailure::None);
  test::GiveToOrdinaryUser(dir_.Path());
  EXPECT_TRUE(test::AsOrdinaryUser([&] {
    const OpenResult opened = OpenFile(path, OpenMode::ReadWriteDespiteReadOnly);
    const Outcome said = DescribeOpenError(opened);
    return opened.error == OpenFailure::ReadOnly && said.kind() == FailureKind::ReadOnly &&
           said.message() == "cannot be opened: Permission denied";
  }));
}

TEST_F(FileIoTest, LocksConflictBetweenOpensInOneProcess) {
  std::string path = MakeFile("a.doc", {1});
  {
    OpenResult reader = OpenFile(path, OpenMode::Read);
    ASSERT_EQ(reader.error, OpenFailure::None);
    OpenResult secondReader = OpenFile(path, OpenMode::Read);
    EXPECT_EQ(secondReader.error, OpenFailure::None) << "readers share";
    EXPECT_EQ(OpenFile(path, OpenMode::ReadWrite).error, OpenFailure::Locked);
  }
  {
    OpenResult writer = OpenFile(path, OpenMode::ReadWrite);
    ASSERT_EQ(writer.error, OpenFailure::None) << "the readers' locks went with their objects";
    EXPECT_EQ(OpenFile(path, OpenMode::Read).error, OpenFailure::Locked);
    EXPECT_EQ(OpenFile(path, OpenMode::ReadWrite).error, OpenFailure::Locked);
  }
  EXPECT_EQ(OpenFile(path, OpenMode::ReadWrite).error, OpenFailure::None);
}

// Programs lock with open-file-description locks, classic POSIX record locks or flock; each
// keeps us out (we take a record lock and a flock).
TEST_F(FileIoTest, LockHeldByAnotherProcessBlocksUs) {
  std::string path = MakeFile("a.doc", {1});
  for (auto kind : {test::LockKind::OpenFileDescription, test::LockKind::Process, test::LockKind::Flock}) {
    {
      const test::LockHolder writer(path, true, kind);
      ASSERT_TRUE(writer.Holding());
      EXPECT_EQ(OpenFile(path, OpenMode::Read).error, OpenFailure::Locked);
      EXPECT_EQ(OpenFile(path, OpenMode::ReadWrite).error, OpenFailure::Locked);
    }
    {
      const test::LockHolder reader(path, false, kind);
      ASSERT_TRUE(reader.Holding());
      EXPECT_EQ(OpenFile(path, OpenMode::Read).error, OpenFailure::None);
      EXPECT_EQ(OpenFile(path, OpenMode::ReadWrite).error, OpenFailure::Locked);
    }
  }
  EXPECT_EQ(OpenFile(path, OpenMode::ReadWrite).error, OpenFailure::None) << "the lock died with the child";
}

// A file that is not the platform's own, so copies into it go through a buffer.
class Wrapped final : public RandomAccessFile {
 public:
  explicit Wrapped(RandomAccessFile& inner) : inner_(inner) {}
  std::uint64_t Size() const override { return inner_.Size(); }
  Outcome ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override { return inner_.ReadAt(offset, buffer, n); }
  Outcome WriteAt(std::uint64_t offset, const void* data, std::size_t n) override { return inner_.WriteAt(offset, data, n); }
  Outcome Sync() override { return inner_.Sync(); }

 private:
  RandomAccessFile& inner_;
};

// Ranges copied inside the kernel and through a buffer arrive the same; a source that ends
// early is a failed copy.
TEST_F(FileIoTest, CopiesRangesBetweenFiles) {
  std::vector<std::uint8_t> bytes(3 << 20);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + i / 4096);
  const std::string source = MakeFile("source.bin", bytes);
  OpenResult in = OpenFile(source, OpenMode::Read);
  ASSERT_EQ(in.error, OpenFailure::None);
  for (bool kernel : {true, false}) {
    const std::string target = MakeFile(kernel ? "kernel.bin" : "buffered.bin", {9, 9, 9});
    {
      OpenResult out = OpenFile(target, OpenMode::ReadWrite);
      ASSERT_EQ(out.error, OpenFailure::None);
      Wrapped wrapped(*in.file);
      RandomAccessFile& from = kernel ? *in.file : static_cast<RandomAccessFile&>(wrapped);
      ASSERT_TRUE(out.file->CopyFrom(from, 5, 3, bytes.size() - 5));
      EXPECT_EQ(out.file->Size(), bytes.size() - 2);
    }
    const auto copied = test::ReadBytes(target);
    ASSERT_EQ(copied.size(), bytes.size() - 2);
    EXPECT_TRUE(std::equal(copied.begin() + 3, copied.end(), bytes.begin() + 5)) << (kernel ? "kernel" : "buffered");

    OpenResult other = OpenFile(MakeFile("short.bin", {}), OpenMode::ReadWrite);
    ASSERT_EQ(other.error, OpenFailure::None);
    Wrapped wrapped(*in.file);
    RandomAccessFile& from = kernel ? *in.file : static_cast<RandomAccessFile&>(wrapped);
    EXPECT_FALSE(other.file->CopyFrom(from, bytes.size() - 10, 0, 20)) << "the source ends after 10 bytes";
  }
}

TEST_F(FileIoTest, SetsTimesThroughTheOpenFile) {
  const std::string path = MakeFile("a.doc", {1});
  struct stat before {};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  {
    OpenResult opened = OpenFile(path, OpenMode::ReadWrite);
    ASSERT_EQ(opened.error, OpenFailure::None);
    ASSERT_TRUE(opened.file->SetTimes(Timestamp{1'000'000'000, 123'456'789}, std::nullopt));
  }
  struct stat after {};
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_atim.tv_sec, 1'000'000'000);
  EXPECT_EQ(after.st_atim.tv_nsec, 123'456'789);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec) << "nullopt leaves it alone";
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);

  OpenResult reader = OpenFile(path, OpenMode::Read);
  ASSERT_EQ(reader.error, OpenFailure::None);
  Wrapped notOnDisk(*reader.file);
  EXPECT_FALSE(notOnDisk.SetTimes(Timestamp{}, Timestamp{})) << "a file of our own making has no times";
}

TEST_F(FileIoTest, InstalledOpenerReplacesTheDoorUntilReset) {
  std::string path = MakeFile("a.doc", {1});
  int calls = 0;
  SetFileOpener([&calls](const std::string&, OpenMode) {
    ++calls;
    return OpenResult{nullptr, OpenFailure::Other};
  });
  EXPECT_EQ(OpenFile(path, OpenMode::Read).error, OpenFailure::Other);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(OpenPosixFile(path, OpenMode::Read).error, OpenFailure::None) << "the real door stays reachable";
  SetFileOpener({});
  EXPECT_EQ(OpenFile(path, OpenMode::Read).error, OpenFailure::None);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace kestrel::fs
