#include "platform/fs/ReplacementFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

}  // namespace
}  // namespace kestrel::fs
