#pragma once
// Syncs that documents done close together share. Each notes what it did that a sync makes
// durable (a rename into a folder, say) and later asks for that to be durable: a sync that began
// after the note covers it, so one sync in flight serves every note made before it began, and a
// note made while one runs waits for the next, which then serves all that came meanwhile.
// Thread-safe. Nothing here throws except std::bad_alloc.

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace kestrel::fs {

class SharedSyncs {
 public:
  using Sync = std::function<void(const std::string& key)>;
  explicit SharedSyncs(Sync sync) : sync_(std::move(sync)) {}

  // Notes that something the next sync of `key` makes durable is done; what to ask with.
  std::uint64_t Noted(const std::string& key);

  // Returns once a sync of `key` that began after `ticket` was noted has ended.
  void MakeDurable(const std::string& key, std::uint64_t ticket);

 private:
  struct Key {
    std::uint64_t covered = 0;    // every ticket up to this is durable
    std::uint64_t inFlight = 0;   // the sync running covers tickets up to this; 0: none runs
  };

  Sync sync_;
  std::mutex mutex_;
  std::condition_variable ended_;
  std::uint64_t lastTicket_ = 0;
  std::map<std::string, Key> keys_;
};

}  // namespace kestrel::fs
