#include "tests/change/ChangeFixture.h"

#include <sys/stat.h>

#include <stdexcept>

#include "platform/fs/FileState.h"

namespace kestrel::test {

namespace stdfs = std::filesystem;

bool OwnerWritable(const stdfs::path& file) {
  struct stat st {};
  if (stat(file.c_str(), &st) != 0) throw std::runtime_error("stat failed: " + file.string());
  return (st.st_mode & S_IWUSR) != 0;
}

std::uint32_t ShownAttributes(const stdfs::path& file) {
  const auto record = fs::ReadFileRecord(file);
  if (!record) throw std::runtime_error("no record: " + file.string());
  return record->attributes & (fs::kAttributeReadOnly | fs::kAttributeHidden | fs::kAttributeSystem |
                               fs::kAttributeArchive);
}

Outcome Apply(const stdfs::path& file, const change::ChangeRequest& request) {
  ooxml::PackageProperties packages;
  return change::ApplyChange(packages, file.string(), request);
}

}  // namespace kestrel::test
