#include "tests/support/LockHolder.h"

#include <csignal>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrel::test {

LockHolder::LockHolder(const std::filesystem::path& file, bool exclusive, LockKind kind) {
  int ready[2];
  if (pipe(ready) != 0) return;
  child_ = fork();
  if (child_ == 0) {
    close(ready[0]);
    int fd = open(file.c_str(), exclusive ? O_RDWR : O_RDONLY);
    struct stat info {};
    if (fd < 0 && errno == EACCES && exclusive && stat(file.c_str(), &info) == 0) {
      // A writer of a read-only document opened it before the bit was set: as its owner who is
      // not root, opened in a moment without the bit.
      chmod(file.c_str(), info.st_mode | S_IWUSR);
      fd = open(file.c_str(), O_RDWR);
      chmod(file.c_str(), info.st_mode & 07777);
    }
    struct flock lock {};
    lock.l_type = exclusive ? F_WRLCK : F_RDLCK;
    lock.l_whence = SEEK_SET;
    bool locked = false;
    if (fd >= 0 && kind == LockKind::Flock) {
      locked = flock(fd, exclusive ? LOCK_EX : LOCK_SH) == 0;
    } else if (fd >= 0) {
      locked = fcntl(fd, kind == LockKind::Process ? F_SETLK : F_OFD_SETLK, &lock) == 0;
    }
    const char status = locked ? 'y' : 'n';
    if (write(ready[1], &status, 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  close(ready[1]);
  char status = 'n';
  holding_ = child_ > 0 && read(ready[0], &status, 1) == 1 && status == 'y';
  close(ready[0]);
}

LockHolder::~LockHolder() {
  if (child_ > 0) {
    kill(child_, SIGKILL);
    waitpid(child_, nullptr, 0);
  }
}

}  // namespace kestrel::test
