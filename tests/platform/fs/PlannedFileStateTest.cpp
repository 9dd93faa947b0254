// The end state of a change as an ordinary user meets it: what the plan refuses before anything is
// written, a read-only file's store given in place without leaving it writable, and the journal
// that repairs what a kill in that instant, or while a new file has a name, leaves behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/fs/FileIo.h"
#include "platform/fs/LeftoverJournal.h"
#include "platform/fs/FileOps.h"
#include "platform/fs/PlannedFileState.h"
#include "platform/fs/ReplacementFile.h"
#include "tests/support/OrdinaryUser.h"
#include "tests/support/TestSupport.h"

namespace kestrel::fs {
namespace {

namespace stdfs = std::filesystem;

FileRecord RecordOf(Backend backend, std::uint32_t owner, std::uint32_t group, bool systemBirth = false) {
  FileRecord record;
  record.backend = backend;
  record.mode = 0644;
  record.owner = owner;
  record.group = group;
  record.systemBirth = systemBirth;
  record.times = {{1'000, 0}, {2'000, 0}, {3'000, 0}};
  return record;
}

// Run as the ordinary user: root would be allowed what the plan refuses. An empty reason: planned.
TEST(PlanFileState, RefusesWhatCouldNotBeKeptBeforeAnythingIsWritten) {
  const std::uint32_t self = test::OrdinaryUserId();
  const std::uint32_t own = test::OrdinaryGroupId();
  const FileTimestamps newCreation{{5'000, 0}, {2'000, 0}, {3'000, 0}};
  using enum Backend;
  using enum StateTarget;
  const struct {
    FileRecord now;
    std::uint32_t attributes;
    bool newCreation;
    StateTarget target;
    std::string reason;
  } cases[] = {
      {RecordOf(Generic, 0, 0), 0, false, SameFile, "belongs to root"},
      {RecordOf(Generic, self, 0), 0, false, NewFile, "its group root could not be kept"},
      {RecordOf(Generic, self, 0), kAttributeHidden, true, SameFile, ""},
      {RecordOf(Generic, self, own), kAttributeReadOnly, false, NewFile, ""},
      {RecordOf(Fallback, self, own), kAttributeHidden, false, SameFile, "cannot store the hidden, system or archive bit"},
      {RecordOf(Fallback, self, own, true), kAttributeReadOnly, false, SameFile, ""},
      {RecordOf(Fallback, self, own, true), 0, false, NewFile, "cannot keep its creation time"},
      {RecordOf(NtfsKernel, self, own), 0, true, SameFile, "cannot set a creation time"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "backend " << static_cast<int>(c.now.backend) << ", " << c.reason);
    EXPECT_TRUE(test::AsOrdinaryUser([&] {
      const Result<FileRecord> planned = PlanFileState(c.now, c.attributes, c.newCreation ? newCreation : c.now.times, c.target);
      if (c.reason.empty()) return planned.ok() && planned->attributes == c.attributes;
      return !planned && planned.outcome().message().find(c.reason) != std::string::npos;
    }));
  }
}

class OrdinaryUserFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    stdfs::create_directory(state_);
    test::GiveToOrdinaryUser(dir_.Path());
    ::setenv("XDG_STATE_HOME", state_.c_str(), 1);
  }
  void TearDown() override { ::unsetenv("XDG_STATE_HOME"); }
  // The ordinary user's read-only file.
  std::string ReadOnlyFile(const std::string& name) {
    const std::string path = (dir_.Path() / name).string();
    test::WriteBytes(path, {1, 2, 3});
    test::GiveToOrdinaryUser(path);
    ::chmod(path.c_str(), 0444);
    return path;
  }
  static std::uint32_t Mode(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
  }

  test::TempDir dir_;
  stdfs::path state_ = dir_.Path() / "state";
};

// The hidden bit of a read-only file goes into its blob, which an owner who is not root can write
// only while the file is writable; it is read-only again before the call returns, and the writer
// that opened it meanwhile keeps its descriptor.
TEST_F(OrdinaryUserFolder, AReadOnlyFileGetsItsStoreAndStaysReadOnly) {
  const std::string path = ReadOnlyFile("report.doc");
  const bool stored = test::AsOrdinaryUser([&] {
    const std::optional<FileRecord> now = ReadFileRecord(path);
    if (!now) return false;
    const Result<FileRecord> wanted =
        PlanFileState(*now, kAttributeReadOnly | kAttributeHidden, now->times, StateTarget::SameFile);
    OpenResult opened;
    const Outcome given = GiveFileStoreInPlace(path, *wanted, [&] {
      opened = OpenFile(path, OpenMode::ReadWrite);
      return DescribeOpenError(opened);
    });
    const std::uint8_t byte = 9;
    return given && opened.file && opened.file->WriteAt(0, &byte, 1) && Mode(path) == 0444;
  });
  ASSERT_TRUE(stored);
  const std::optional<FileRecord> after = ReadFileRecord(path);
  ASSERT_TRUE(after);
  EXPECT_EQ(after->attributes, kAttributeReadOnly | kAttributeHidden);
  EXPECT_EQ(test::ReadBytes(path), (std::vector<std::uint8_t>{9, 2, 3}));
}

// A process killed while a read-only file is writable, while a new file of ours has a name, or
// while a file has a second name as its backup: the next start of a program (RepairLeftovers)
// makes the file read-only again and removes the named file and the second name.
TEST_F(OrdinaryUserFolder, ARepairUndoesWhatAKilledRunLeft) {
  const std::string path = ReadOnlyFile("report.doc");
  const std::string target = (dir_.Path() / "report.docx").string();
  test::WriteBytes(target, {7});
  test::GiveToOrdinaryUser(target);
  const auto killedMidway = [&] {
    const std::optional<FileRecord> now = ReadFileRecord(path);
    ReplacementFile named(target, ".kestrel-test-", ReplacementFile::Kind::Named);
    const Result<ExtraName> linked = LinkAsName(target, target + ".bak");
    if (!linked) return false;
    (void)GiveFileStoreInPlace(path, *now, [] {
      ::_exit(0);  // as a kill would, in the instant the bit is off
      return Outcome::Success();
    });
    return false;
  };
  const pid_t child = ::fork();
  if (child == 0) {
    test::AsOrdinaryUser(killedMidway);
    ::_exit(0);
  }
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  ASSERT_EQ(Mode(path), 0644u) << "the kill left it writable";
  ASSERT_EQ(std::distance(stdfs::directory_iterator(dir_.Path()), stdfs::directory_iterator()), 5)
      << "the named file and the second name are left too";

  ASSERT_TRUE(test::AsOrdinaryUser([] {
    RepairLeftovers();
    return true;
  }));
  EXPECT_EQ(Mode(path), 0444u);
  std::vector<std::string> names;
  for (const auto& entry : stdfs::directory_iterator(dir_.Path())) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"report.doc", "report.docx", "state"}));
  EXPECT_TRUE(stdfs::is_empty(state_ / "kestrelpad" / "journal"));
}

}  // namespace
}  // namespace kestrel::fs
