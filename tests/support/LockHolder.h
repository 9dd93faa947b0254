#pragma once
// Another process holding a document open: a child that takes a lock on the file and keeps it
// until the object goes.

#include <filesystem>

#include <sys/types.h>

namespace kestrel::test {

enum class LockKind {
  OpenFileDescription,  // F_OFD_SETLK, as we lock
  Process,              // F_SETLK, classic POSIX record locks
  Flock,                // flock(2), BSD locks, as `flock -x` takes them
};

class LockHolder {
 public:
  // exclusive: a write lock, as a program editing the file holds it; else a read lock.
  LockHolder(const std::filesystem::path& file, bool exclusive, LockKind kind = LockKind::OpenFileDescription);
  ~LockHolder();
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

  bool Holding() const { return holding_; }

 private:
  pid_t child_ = -1;
  bool holding_ = false;
};

}  // namespace kestrel::test
