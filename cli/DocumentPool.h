#pragma once
// Runs one job per document on worker threads and hands each result back on the calling thread
// in the order the documents were given, each as soon as every earlier one was handed back: the
// output reads exactly as if the documents were done one after another, and a long run shows its
// progress. One worker, or one document, runs on the calling thread alone.

#include <cstddef>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace kestrel::cli {

// What a command does to each document, which decides how many are worth having in flight.
enum class DocumentWork { Reading, Changing };

// KESTRELPAD_CLI_WORKERS when set, else sized to the machine for that work. Throws UsageError
// when the variable is not a whole number from 1 to kMaxWorkers.
std::size_t WorkerCount(DocumentWork work);
inline constexpr std::size_t kMaxWorkers = 64;
// Documents a reading worker takes at a time.
inline constexpr std::size_t kReadingBatch = 4;

class DocumentPool {
 public:
  // Results done and not yet handed back, at most: a document starts only when it is fewer than
  // this many places after the next one to hand back, however many documents there are.
  static constexpr std::size_t kMaxWaiting = 64;

  // A worker takes `batch` documents at a time: fewer meetings at the pool's lock for short jobs;
  // one at a time where a job may wait for the one before it (the backups' turns).
  explicit DocumentPool(std::size_t workers, std::size_t batch = 1)
      : workers_(workers < 1 ? 1 : workers), batch_(batch < 1 ? 1 : batch) {}

  // Jobs get a worker number below this, the same for every job on one thread: the index of
  // what a worker keeps for itself and must not share.
  std::size_t Workers() const { return workers_; }

  // job(index, worker) -> Result for each document index below `count`, on the workers, started
  // in index order; take(index, result) on the calling thread in index order. An exception a job
  // throws comes out of here when its turn to be handed back comes, once the jobs running have
  // ended.
  template <typename Result, typename Job, typename Take>
  void RunInOrder(std::size_t count, Job job, Take take) {
    std::vector<std::optional<Result>> slots(kMaxWaiting);
    Run(
        count,
        [&](std::size_t index, std::size_t worker) { slots[index % kMaxWaiting].emplace(job(index, worker)); },
        [&](std::size_t index) {
          std::optional<Result>& slot = slots[index % kMaxWaiting];
          take(index, std::move(*slot));
          slot.reset();
        });
  }

 private:
  using Work = std::function<void(std::size_t index, std::size_t worker)>;
  using Hand = std::function<void(std::size_t index)>;

  void Run(std::size_t count, const Work& work, const Hand& hand) const;
  void RunOnThreads(std::size_t count, std::size_t threads, const Work& work, const Hand& hand) const;

  std::size_t workers_;
  std::size_t batch_;
};

}  // namespace kestrel::cli
