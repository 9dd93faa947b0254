#include "platform/fs/ReplacementFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "tests/support/TestSupport.h"

namespace kestrel::fs {
namespace {

std::string Attribute(const std::string& path, const char* name) {
  std::string value(256, '\0');
  const ssize_t got = ::getxattr(path.c_str(), name, value.data(), value.size());
  return got < 0 ? std::string("<none>") : value.substr(0, static_cast<std::size_t>(got));
}

// The swap must not strip what the old file carried besides its bytes: its mode and the user
// attributes (the Samba blob with hidden, system, archive and the creation time among them).
TEST(ReplacementFileTest, TheNewFileTakesTheTargetsModeAndUserAttributes) {
  const test::TempDir dir;
  const std::string target = (dir.Path() / "report.docx").string();
  test::WriteBytes(target, {1, 2, 3});
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  const std::string blob("\0\0\3\0\3\0\0\0", 8);
  if (::setxattr(target.c_str(), "user.DOSATTRIB", blob.data(), blob.size(), 0) != 0) {
    GTEST_SKIP() << "this file system keeps no user attributes";
  }
  ASSERT_EQ(::setxattr(target.c_str(), "user.note", "kept", 4, 0), 0);

  ReplacementFile replacement(target, ".swap");
  ASSERT_TRUE(replacement.Valid());
  test::WriteBytes(replacement.Path(), {4, 5});
  ASSERT_TRUE(replacement.Commit());

  EXPECT_EQ(test::ReadBytes(target), (std::vector<std::uint8_t>{4, 5}));
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Attribute(target, "user.DOSATTRIB"), blob);
  EXPECT_EQ(Attribute(target, "user.note"), "kept");
}

TEST(ReplacementFileTest, UncommittedFileLeavesNothingBehind) {
  const test::TempDir dir;
  const std::string target = (dir.Path() / "out.csv").string();
  std::string path;
  {
    ReplacementFile replacement(target, ".csv");
    ASSERT_TRUE(replacement.Valid());
    path = replacement.Path();
    EXPECT_EQ(::access(path.c_str(), F_OK), 0);
  }
  EXPECT_NE(::access(path.c_str(), F_OK), 0);
  EXPECT_NE(::access(target.c_str(), F_OK), 0);
}

// The file a symbolic link leads to is replaced and the link stays a link; a file with a second
// hard link is refused, since the other name would keep the old content.
TEST(ReplacementFileTest, LinksAreFollowedOrRefusedNeverSplit) {
  const test::TempDir dir;
  const std::string real = (dir.Path() / "real.csv").string();
  const std::string link = (dir.Path() / "link.csv").string();
  test::WriteBytes(real, {1});
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
  {
    ReplacementFile replacement(link, ".swap");
    ASSERT_TRUE(replacement.Valid()) << replacement.Error();
    EXPECT_EQ(replacement.Target(), real);
    test::WriteBytes(replacement.Path(), {2});
    ASSERT_TRUE(replacement.Commit()) << replacement.Error();
  }
  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(test::ReadBytes(real), (std::vector<std::uint8_t>{2}));

  const std::string second = (dir.Path() / "second.csv").string();
  ASSERT_EQ(::link(real.c_str(), second.c_str()), 0);
  ReplacementFile refused(second, ".swap");
  EXPECT_FALSE(refused.Valid());
  EXPECT_EQ(refused.Error(), "has 2 hard links; replacing it would split them");
  EXPECT_EQ(test::ReadBytes(real), (std::vector<std::uint8_t>{2}));
}

// Nothing is named beside the target before the commit, so a kill leaves nothing there; where
// unnamed files are not to be had, the named temporary is removed unless committed.
TEST(ReplacementFileTest, TheNewFileHasNoNameUntilItIsCommitted) {
  for (const auto kind : {ReplacementFile::Kind::Unnamed, ReplacementFile::Kind::Named}) {
    const test::TempDir dir;
    const std::string target = (dir.Path() / "out.csv").string();
    ReplacementFile replacement(target, ".swap", kind);
    ASSERT_TRUE(replacement.Valid()) << replacement.Error();
    test::WriteBytes(replacement.Path(), {7});
    const auto entries = std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator());
    EXPECT_EQ(entries, replacement.kind() == ReplacementFile::Kind::Unnamed ? 0 : 1);
    ASSERT_TRUE(replacement.Commit()) << replacement.Error();
    EXPECT_EQ(test::ReadBytes(target), (std::vector<std::uint8_t>{7}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()), 1);
  }
}

// A kill between naming the new file and its rename leaves it under the target's own temporary
// name; the next replacement removes it, unless a live process still holds it (another change of
// the same file), which it then works around.
TEST(ReplacementFileTest, AFileAKillLeftIsRemovedByTheNextReplacement) {
  for (const bool held : {false, true}) {
    const test::TempDir dir;
    const std::string target = (dir.Path() / "report.docx").string();
    test::WriteBytes(target, {1});
    const std::string left = NamedBeforeRename(target, "KPZ");
    test::WriteBytes(left, {9});
    const int holder = held ? ::open(left.c_str(), O_RDONLY) : -1;
    if (held) {
      ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    }

    ReplacementFile replacement(target, "KPZ");
    ASSERT_TRUE(replacement.Valid()) << replacement.Error();
    if (replacement.kind() == ReplacementFile::Kind::Named) GTEST_SKIP() << "this file system has no unnamed files";
    test::WriteBytes(replacement.Path(), {2});
    ASSERT_TRUE(replacement.Commit()) << replacement.Error();
    EXPECT_EQ(test::ReadBytes(target), (std::vector<std::uint8_t>{2})) << "held " << held;
    EXPECT_EQ(::access(left.c_str(), F_OK) == 0, held) << "held " << held;
    if (held) ::close(holder);
  }
}

}  // namespace
}  // namespace kestrel::fs
