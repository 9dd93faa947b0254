#include "platform/fs/HeldOpen.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include <cstddef>

#include "platform/fs/FileState.h"

namespace kestrel::fs {

namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::size_t CharacterCount(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) count += IsContinuationByte(c) ? 0 : 1;
  return count;
}

// The text after the first n characters.
std::string_view DropCharacters(std::string_view text, std::size_t n) {
  std::size_t at = 0;
  while (n > 0 && at < text.size()) {
    ++at;
    while (at < text.size() && IsContinuationByte(text[at])) ++at;
    --n;
  }
  return text.substr(at);
}

// Another open file description, or another process's record lock or flock, writing to the file.
bool WriteLocked(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  struct flock probe {};
  probe.l_type = F_RDLCK;  // only a write lock conflicts with a read lock
  probe.l_whence = SEEK_SET;
  probe.l_start = 0;
  probe.l_len = 0;
  bool locked = ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
  // flock has no probe: a shared flock that cannot be had means an exclusive one is held. Closing
  // the descriptor drops ours at once.
  if (!locked) locked = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return locked;
}

}  // namespace

std::string LibreOfficeLockFileName(std::string_view fileName) {
  std::string name(".~lock.");
  name.append(fileName);
  name.push_back('#');
  return name;
}

std::string OfficeOwnerFileName(std::string_view fileName) {
  const std::size_t dot = fileName.rfind('.');
  const std::size_t stemCharacters = CharacterCount(fileName.substr(0, dot));
  const std::size_t dropped = stemCharacters >= 8 ? 2 : stemCharacters == 7 ? 1 : 0;
  std::string name("~$");
  name.append(DropCharacters(fileName, dropped));
  return name;
}

bool LockFileBeside(const std::string& path, OwnerFileNaming naming) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string_view name = slash == std::string::npos ? std::string_view(path) : std::string_view(path).substr(slash + 1);
  const std::string ownerFile =
      naming == OwnerFileNaming::Shortened ? OfficeOwnerFileName(name) : "~$" + std::string(name);
  return FileExistsAsFile(folder + LibreOfficeLockFileName(name)) || FileExistsAsFile(folder + ownerFile);
}

bool HeldOpenByAnotherProgram(const std::string& path, OwnerFileNaming naming) {
  return WriteLocked(path) || LockFileBeside(path, naming);
}

}  // namespace kestrel::fs
