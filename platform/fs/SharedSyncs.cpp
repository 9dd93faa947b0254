#include "platform/fs/SharedSyncs.h"

namespace kestrel::fs {

std::uint64_t SharedSyncs::Noted(const std::string& key) {
  const std::lock_guard lock(mutex_);
  keys_.try_emplace(key);
  return ++lastTicket_;
}

void SharedSyncs::MakeDurable(const std::string& key, std::uint64_t ticket) {
  std::unique_lock lock(mutex_);
  Key& state = keys_[key];
  // A sync in flight that began before the ticket does not cover it: the next one will.
  ended_.wait(lock, [&] { return state.covered >= ticket || state.inFlight == 0 || state.inFlight >= ticket; });
  if (state.covered >= ticket) return;
  if (state.inFlight >= ticket) {
    ended_.wait(lock, [&] { return state.covered >= ticket; });
    return;
  }
  state.inFlight = lastTicket_;
  lock.unlock();
  sync_(key);
  lock.lock();
  state.covered = std::max(state.covered, state.inFlight);
  state.inFlight = 0;
  ended_.notify_all();
}

}  // namespace kestrel::fs
