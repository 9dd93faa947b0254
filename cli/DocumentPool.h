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

enum class Starts {
  Freely,
  // A document starts only once the job of the one before allowed it; a job that ends without
  // allowing it ends the run there.
  WhenThePreviousAllows,
};

// Given to each job, to let the next document start before this job is over.
class NextStart {
 public:
  explicit NextStart(std::function<void()> allow) : allow_(std::move(allow)) {}
  void Allow() {
    if (allowed_) return;
    allowed_ = true;
    allow_();
  }
  bool Allowed() const { return allowed_; }

 private:
  std::function<void()> allow_;
  bool allowed_ = false;
};

class DocumentPool {
 public:
  // Results done and not yet handed back, at most: a document starts only when it is fewer than
  // this many places after the next one to hand back, however many documents there are.
  static constexpr std::size_t kMaxWaiting = 64;

  DocumentPool(std::size_t workers, Starts starts) : workers_(workers < 1 ? 1 : workers), starts_(starts) {}

  // Jobs get a worker number below this, the same for every job on one thread: the index of
  // what a worker keeps for itself and must not share.
  std::size_t Workers() const { return workers_; }

  // job(index, worker, next) -> Result for each document index below `count`, on the workers;
  // take(index, result) on the calling thread in index order. An exception a job throws comes
  // out of here when its turn to be handed back comes, once the jobs running have ended. Returns
  // how many documents were started: `count` unless a job ended the run.
  template <typename Result, typename Job, typename Take>
  std::size_t RunInOrder(std::size_t count, Job job, Take take) {
    std::vector<std::optional<Result>> slots(kMaxWaiting);
    return Run(
        count,
        [&](std::size_t index, std::size_t worker, NextStart& next) {
          slots[index % kMaxWaiting].emplace(job(index, worker, next));
        },
        [&](std::size_t index) {
          std::optional<Result>& slot = slots[index % kMaxWaiting];
          take(index, std::move(*slot));
          slot.reset();
        });
  }

 private:
  using Work = std::function<void(std::size_t index, std::size_t worker, NextStart& next)>;
  using Hand = std::function<void(std::size_t index)>;

  std::size_t Run(std::size_t count, const Work& work, const Hand& hand) const;
  std::size_t RunHere(std::size_t count, const Work& work, const Hand& hand) const;
  std::size_t RunOnThreads(std::size_t count, std::size_t threads, const Work& work, const Hand& hand) const;

  std::size_t workers_;
  Starts starts_;
};

}  // namespace kestrel::cli
