// Syncs shared by documents done close together: a note is served by any sync that began after
// it, and by no sync that began before.

#include "platform/fs/SharedSyncs.h"

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

namespace kestrel::fs {
namespace {

TEST(SharedSyncs, ASyncServesEveryNoteMadeBeforeItBeganAndNoLaterOne) {
  std::vector<std::string> synced;
  std::promise<void> released;
  std::shared_future<void> release = released.get_future().share();
  std::promise<void> begun;
  SharedSyncs syncs([&](const std::string& key) {
    synced.push_back(key);
    if (synced.size() == 1) {
      begun.set_value();
      release.wait();  // the first sync runs while a note is made
    }
  });
  const std::uint64_t first = syncs.Noted("a");
  const std::uint64_t second = syncs.Noted("a");
  const std::uint64_t otherFolder = syncs.Noted("b");
  auto running = std::async(std::launch::async, [&] { syncs.MakeDurable("a", first); });
  begun.get_future().wait();
  const std::uint64_t during = syncs.Noted("a");
  auto waiting = std::async(std::launch::async, [&] { syncs.MakeDurable("a", during); });
  released.set_value();
  running.get();
  waiting.get();
  EXPECT_EQ(synced, (std::vector<std::string>{"a", "a"})) << "a note made while a sync ran needs the next";
  syncs.MakeDurable("a", second);
  syncs.MakeDurable("a", during);
  EXPECT_EQ(synced.size(), 2u) << "both were served already";
  syncs.MakeDurable("b", otherFolder);
  EXPECT_EQ(synced, (std::vector<std::string>{"a", "a", "b"})) << "each folder has its own syncs";
}

}  // namespace
}  // namespace kestrel::fs
