#pragma once
// Long work (the rewrite of a large package) run off the window's thread while the window goes
// on painting: the caller waits in an event loop that takes no user input, so nothing can start
// meanwhile, and gets the work's result as if it had been called directly.

#include <optional>
#include <thread>
#include <utility>

#include <QEventLoop>
#include <QMetaObject>

namespace kestrel::app {

// `work` must not touch widgets; it must not throw.
template <typename Work>
auto RunOffThread(Work work) -> decltype(work()) {
  std::optional<decltype(work())> result;
  QEventLoop loop;
  std::thread worker([&] {
    result.emplace(work());
    // Queued: lands in the loop even when the loop has not started yet.
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  worker.join();
  return std::move(*result);
}

}  // namespace kestrel::app
