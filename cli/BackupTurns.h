#pragma once
// The backups of a set run take their names one after the other, in the order the documents were
// given, and none after one that failed: a failed backup ends the run before any later document
// or its earlier backup is touched, while the copies themselves are written several at once.

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace kestrel::cli {

class BackupTurns {
 public:
  // False once a backup failed: a document that has not had its turn yet is not touched.
  bool Open() {
    const std::lock_guard lock(mutex_);
    return !stopped_;
  }

  // Waits until every earlier document has had its turn; false when one of their backups failed.
  // On true the caller must end its turn with Done.
  bool WaitFor(std::size_t index) {
    std::unique_lock lock(mutex_);
    turn_.wait(lock, [&] { return stopped_ || next_ == index; });
    return !stopped_;
  }

  void Done(std::size_t index, bool backedUp) {
    const std::lock_guard lock(mutex_);
    next_ = index + 1;
    stopped_ = stopped_ || !backedUp;
    turn_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable turn_;
  std::size_t next_ = 0;
  bool stopped_ = false;
};

}  // namespace kestrel::cli
