#include "tests/support/PreparedDocument.h"

namespace kestrel::test {

namespace stdfs = std::filesystem;

stdfs::path PrepareDocument(const TempDir& dir, const std::string& name, bool readOnly, const std::string& newName) {
  const auto file = dir.Copy(DataFile(name), newName);
  SetKernelTimes(file, kOddLastWrite, kOddLastAccess);
  if (readOnly) MakeReadOnly(file);
  return file;
}

void MakeReadOnly(const stdfs::path& file) {
  stdfs::permissions(file, stdfs::perms::owner_write | stdfs::perms::group_write | stdfs::perms::others_write,
                     stdfs::perm_options::remove);
}

}  // namespace kestrel::test
