// Long work runs on another thread while the window's events (painting among them) go on, and
// its result comes back as from a direct call.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <QTimer>

#include "app/OffThread.h"

namespace kestrel::app::test {
namespace {

TEST(OffThreadTest, EventsAreHandledWhileTheWorkRuns) {
  std::atomic<bool> eventHandled = false;
  QTimer::singleShot(0, [&eventHandled] { eventHandled = true; });
  const std::thread::id caller = std::this_thread::get_id();
  // The work waits for the window's event; with the window's thread blocked it would never come.
  const auto [sawEvent, elsewhere] = RunOffThread([&] {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!eventHandled && std::chrono::steady_clock::now() < giveUp) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return std::pair(eventHandled.load(), std::this_thread::get_id() != caller);
  });
  EXPECT_TRUE(sawEvent);
  EXPECT_TRUE(elsewhere);
  EXPECT_EQ(RunOffThread([] { return 42; }), 42) << "work that ends at once";
}

}  // namespace
}  // namespace kestrel::app::test
