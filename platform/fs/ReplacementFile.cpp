#include "platform/fs/ReplacementFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

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
