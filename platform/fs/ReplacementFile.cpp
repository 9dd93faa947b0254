#include "platform/fs/ReplacementFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace kestrel::fs {

namespace {

// Read from /proc: asking umask() means setting it, which other threads could see meanwhile.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      unsigned mask = 0;
      std::istringstream(line.substr(6)) >> std::oct >> mask;
      return static_cast<mode_t>(mask);
    }
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

// The target's user attributes (Samba's attribute blob among them: hidden, system, archive and
// the creation time) move to the new file, which the swap would otherwise lose. Done before the
// mode is set, since an owner who is not root cannot add them to a file without write permission.
void CopyUserAttributes(const std::string& from, const std::string& to) {
  std::vector<char> names(4096);
  ssize_t length = 0;
  while ((length = ::listxattr(from.c_str(), names.data(), names.size())) < 0 && errno == ERANGE) {
    names.resize(names.size() * 4);
  }
  std::vector<char> value;
  for (ssize_t at = 0; at < length; at += static_cast<ssize_t>(std::strlen(names.data() + at)) + 1) {
    const char* name = names.data() + at;
    if (std::strncmp(name, "user.", 5) != 0) continue;
    const ssize_t size = ::getxattr(from.c_str(), name, nullptr, 0);
    if (size < 0) continue;
    value.resize(static_cast<std::size_t>(size));
    const ssize_t got = ::getxattr(from.c_str(), name, value.data(), value.size());
    if (got >= 0) (void)::setxattr(to.c_str(), name, value.data(), static_cast<std::size_t>(got), 0);
  }
}

}  // namespace

ReplacementFile::ReplacementFile(const std::string& target, const std::string& prefix) : target_(target) {
  const auto slash = target.rfind('/');
  folder_ = slash == std::string::npos ? "." : target.substr(0, slash == 0 ? 1 : slash);
  std::string name = folder_ + "/" + prefix + "XXXXXX";
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return;
  ::close(fd);
  path_ = name;
}

ReplacementFile::~ReplacementFile() {
  if (!path_.empty()) ::unlink(path_.c_str());
}

bool ReplacementFile::Commit() {
  if (path_.empty()) return false;
  struct stat target {};
  mode_t mode = 0666 & ~CurrentUmask();
  if (::stat(target_.c_str(), &target) == 0) {
    (void)!::chown(path_.c_str(), target.st_uid, target.st_gid);
    CopyUserAttributes(target_, path_);
    mode = target.st_mode & 07777;
  }
  if (::chmod(path_.c_str(), mode) != 0 || ::rename(path_.c_str(), target_.c_str()) != 0) return false;
  path_.clear();
  // Makes the rename itself durable; the file is complete under its name either way.
  const int folder = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    (void)::fsync(folder);
    ::close(folder);
  }
  return true;
}

}  // namespace kestrel::fs
