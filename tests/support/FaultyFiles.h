#pragma once
// Stops a process's writes at the n-th one: installs a file opener whose files let the first
// n-1 writes through and fail every later one, as if the program had died there. It also keeps
// the order of the writes and syncs, for tests of what reaches the disk when.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace kestrel::test {

class FaultyFiles {
 public:
  // failAt = 0 never fails: the opener then only counts writes.
  explicit FaultyFiles(std::size_t failAt);
  ~FaultyFiles();
  FaultyFiles(const FaultyFiles&) = delete;
  FaultyFiles& operator=(const FaultyFiles&) = delete;

  // Writes attempted so far, the failed ones included.
  std::size_t Writes() const;

  struct Event {
    bool sync = false;  // a sync, else a write of `size` bytes at `offset`
    std::uint64_t offset = 0;
    std::size_t size = 0;
  };
  const std::vector<Event>& Log() const;

  // Shared with the files the opener hands out.
  struct Counter;

 private:
  std::shared_ptr<Counter> counter_;
};

// The writes a compound file's commit needs to be whole: those up to and including its header's
// (512 bytes at offset 0). What follows, zeros over freed sectors, is best effort.
std::size_t CommitWrites(const std::vector<FaultyFiles::Event>& log);

}  // namespace kestrel::test
