#include "tests/support/FileSnapshot.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>


namespace kestrel::test {
namespace {

KernelTime Of(const struct statx_timestamp& t) { return {t.tv_sec, t.tv_nsec}; }

// Read without touching the last-access time, which the snapshot is about.
std::vector<std::uint8_t> BytesWithoutAccess(const std::filesystem::path& file) {
  const int fd = open(file.c_str(), O_RDONLY | O_NOATIME | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + file.string());
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[65536];
  ssize_t n = 0;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  close(fd);
  if (n < 0) throw std::runtime_error("cannot read " + file.string());
  return bytes;
}

std::map<std::string, std::vector<std::uint8_t>> ExtendedAttributes(const std::filesystem::path& file) {
  std::map<std::string, std::vector<std::uint8_t>> result;
  const ssize_t size = listxattr(file.c_str(), nullptr, 0);
  if (size <= 0) return result;
  std::string names(static_cast<std::size_t>(size), '\0');
  if (listxattr(file.c_str(), names.data(), names.size()) != size) throw std::runtime_error("listxattr failed");
  for (std::size_t start = 0; start < names.size();) {
    const std::string name = names.c_str() + start;
    start += name.size() + 1;
    const ssize_t length = getxattr(file.c_str(), name.c_str(), nullptr, 0);
    std::vector<std::uint8_t> value(static_cast<std::size_t>(std::max<ssize_t>(length, 0)));
    if (length > 0 && getxattr(file.c_str(), name.c_str(), value.data(), value.size()) != length) {
      throw std::runtime_error("getxattr failed");
    }
    result[name] = std::move(value);
  }
  return result;
}

}  // namespace

FileSnapshot TakeFileSnapshot(const std::filesystem::path& file) {
  struct statx st {};
  if (statx(AT_FDCWD, file.c_str(), 0, STATX_ALL, &st) != 0) throw std::runtime_error("statx failed: " + file.string());
  FileSnapshot snapshot;
  snapshot.bytes = BytesWithoutAccess(file);
  snapshot.birth = Of(st.stx_btime);
  snapshot.lastWrite = Of(st.stx_mtime);
  snapshot.lastAccess = Of(st.stx_atime);
  snapshot.mode = st.stx_mode & 07777;
  snapshot.xattrs = ExtendedAttributes(file);
  return snapshot;
}

void ExpectUnchanged(const FileSnapshot& before, const FileSnapshot& after, bool lastAccessToo) {
  EXPECT_TRUE(before.bytes == after.bytes) << "the content changed";
  EXPECT_EQ(ToString(before.birth), ToString(after.birth)) << "birth time";
  EXPECT_EQ(ToString(before.lastWrite), ToString(after.lastWrite)) << "last-write time";
  if (lastAccessToo) {
    EXPECT_EQ(ToString(before.lastAccess), ToString(after.lastAccess)) << "last-access time";
  }
  EXPECT_EQ(before.mode, after.mode) << "permission bits";
  EXPECT_TRUE(before.xattrs == after.xattrs) << "extended attributes: " << before.xattrs.size() << " before, "
                                             << after.xattrs.size() << " after";
}

void SetKernelTimes(const std::filesystem::path& file, KernelTime lastWrite, KernelTime lastAccess) {
  const struct timespec times[2] = {{lastAccess.seconds, lastAccess.nanoseconds},
                                    {lastWrite.seconds, lastWrite.nanoseconds}};
  if (utimensat(AT_FDCWD, file.c_str(), times, 0) != 0) throw std::runtime_error("utimensat failed");
}

std::string ToString(const KernelTime& time) {
  char fraction[16];
  std::snprintf(fraction, sizeof fraction, ".%09u", time.nanoseconds);
  return std::to_string(time.seconds) + fraction;
}

}  // namespace kestrel::test
