#pragma once
// Stops a process's writes at the n-th one: installs a file opener whose files let the first
// n-1 writes through and fail every later one, as if the program had died there.

#include <cstddef>
#include <memory>

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

  // Shared with the files the opener hands out.
  struct Counter;

 private:
  std::shared_ptr<Counter> counter_;
};

}  // namespace kestrel::test
