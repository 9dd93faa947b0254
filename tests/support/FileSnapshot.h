#pragma once
// Everything a look at a document could disturb, read straight from the kernel: the bytes, the
// three times to the nanosecond (statx), the permission bits and every extended attribute.

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace kestrel::test {

struct KernelTime {
  std::int64_t seconds = 0;
  std::uint32_t nanoseconds = 0;
  bool operator==(const KernelTime&) const = default;
};

struct FileSnapshot {
  std::vector<std::uint8_t> bytes;
  KernelTime birth, lastWrite, lastAccess;
  mode_t mode = 0;  // permission bits only
  std::map<std::string, std::vector<std::uint8_t>> xattrs;
};

FileSnapshot TakeFileSnapshot(const std::filesystem::path& file);
// One expectation per part, so a failure says which part moved. A failed write may have read
// the file, which moves its last-access time: `lastAccessToo` false leaves that out.
void ExpectUnchanged(const FileSnapshot& before, const FileSnapshot& after, bool lastAccessToo = true);

// Sets the last-write and last-access times with utimensat, nanoseconds included.
void SetKernelTimes(const std::filesystem::path& file, KernelTime lastWrite, KernelTime lastAccess);

std::string ToString(const KernelTime& time);

}  // namespace kestrel::test
