#include "cli/DocumentPool.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "cli/UsageError.h"
#include "platform/text/DecimalText.h"

namespace kestrel::cli {
namespace {

constexpr const char* kWorkersVariable = "KESTRELPAD_CLI_WORKERS";

// Reading a document is mostly processor work (inflating, parsing): one per core. Measured on 2
// busy cores, 3060 documents: about 0.45 s with 1 worker, 0.3 s with 2, no better with 4 or 8.
constexpr std::size_t kReadersPerCore = 1;
constexpr std::size_t kMaxReaders = 8;
// A change mostly waits for the syncs of its file and folder, and the file system commits the
// syncs of several changes at once. Measured on 2 cores, 306 changes: 2.2 to 2.7 s with 1 worker,
// 0.7 s with 2, 0.3 to 0.45 s with 4, 0.2 to 0.35 s with 8, 0.3 s with 16: past a few per core
// the disk is the limit.
constexpr std::size_t kChangersPerCore = 4;
constexpr std::size_t kMaxChangers = 16;

// What the workers and the handing thread share of one run.
class SharedRun {
 public:
  SharedRun(std::size_t count, std::size_t batch)
      : batch_(batch), end_(count), done_(DocumentPool::kMaxWaiting), errors_(DocumentPool::kMaxWaiting) {}

  // The next documents for a worker, [first, end), once they may start: a few at a time, so that
  // the workers rarely meet at the lock; nullopt when no more will.
  std::optional<std::pair<std::size_t, std::size_t>> Take() {
    std::unique_lock lock(mutex_);
    ++idle_;
    room_.wait(lock, [&] { return stopped_ || next_ >= end_ || next_ < handed_ + DocumentPool::kMaxWaiting; });
    --idle_;
    if (stopped_ || next_ >= end_) return std::nullopt;
    const std::size_t first = next_;
    next_ = std::min({end_, next_ + batch_, handed_ + DocumentPool::kMaxWaiting});
    return std::pair{first, next_};
  }

  // False once the handing has ended: the rest of a batch is left undone.
  bool Finish(std::size_t index, std::exception_ptr error) {
    const std::lock_guard lock(mutex_);
    done_[index % done_.size()] = true;
    errors_[index % errors_.size()] = std::move(error);
    if (awaited_ == index) doneCv_.notify_one();
    return !stopped_;
  }

  // Waits until the document is done. Throws what its job threw.
  void WaitFor(std::size_t index) {
    std::unique_lock lock(mutex_);
    awaited_ = index;
    doneCv_.wait(lock, [&] { return done_[index % done_.size()]; });
    awaited_ = kNone;
    if (std::exception_ptr& error = errors_[index % errors_.size()]) std::rethrow_exception(std::exchange(error, {}));
  }

  void Handed(std::size_t index) {
    const std::lock_guard lock(mutex_);
    done_[index % done_.size()] = false;
    handed_ = index + 1;
    if (idle_ > 0) room_.notify_all();
  }

  void Stop() {
    const std::lock_guard lock(mutex_);
    stopped_ = true;
    room_.notify_all();
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  const std::size_t batch_;
  std::mutex mutex_;
  std::condition_variable room_;     // workers wait for the window to move
  std::condition_variable doneCv_;  // the handing thread waits for its next document
  std::size_t idle_ = 0;             // workers waiting for room
  std::size_t awaited_ = kNone;      // the document the handing thread waits for
  std::size_t next_ = 0;    // the next document to start
  const std::size_t end_;   // the number of documents
  std::size_t handed_ = 0;  // the documents handed back
  bool stopped_ = false;
  std::vector<bool> done_;  // by index modulo the window
  std::vector<std::exception_ptr> errors_;
};

// Ends the workers' waiting however the handing ends; declared after the threads, so that it
// runs before they are joined.
class StopWhenLeft {
 public:
  explicit StopWhenLeft(SharedRun& run) : run_(run) {}
  StopWhenLeft(const StopWhenLeft&) = delete;
  StopWhenLeft& operator=(const StopWhenLeft&) = delete;
  ~StopWhenLeft() { run_.Stop(); }

 private:
  SharedRun& run_;
};

}  // namespace

std::size_t WorkerCount(DocumentWork work) {
  if (const char* setting = std::getenv(kWorkersVariable)) {
    const std::optional<std::int32_t> number = text::ParseInt32(setting);
    if (!number || *number < 1 || static_cast<std::size_t>(*number) > kMaxWorkers) {
      throw UsageError(std::string(kWorkersVariable) + " takes a whole number from 1 to " +
                       std::to_string(kMaxWorkers) + ", not \"" + setting + "\"");
    }
    return static_cast<std::size_t>(*number);
  }
  const std::size_t cores = std::max(1U, std::thread::hardware_concurrency());
  return work == DocumentWork::Reading ? std::min(cores * kReadersPerCore, kMaxReaders)
                                       : std::min(cores * kChangersPerCore, kMaxChangers);
}

void DocumentPool::Run(std::size_t count, const Work& work, const Hand& hand) const {
  const std::size_t threads = std::min(workers_, count);
  if (threads > 1) return RunOnThreads(count, threads, work, hand);
  for (std::size_t index = 0; index < count; ++index) {
    work(index, 0);
    hand(index);
  }
}

void DocumentPool::RunOnThreads(std::size_t count, std::size_t threads, const Work& work, const Hand& hand) const {
  SharedRun run(count, batch_);
  std::vector<std::jthread> workers;
  const StopWhenLeft stopWhenLeft(run);
  for (std::size_t worker = 0; worker < threads; ++worker) {
    workers.emplace_back([&run, &work, worker] {
      while (const std::optional<std::pair<std::size_t, std::size_t>> batch = run.Take()) {
        bool going = true;
        for (std::size_t index = batch->first; going && index < batch->second; ++index) {
          std::exception_ptr error;
          try {
            work(index, worker);
          } catch (...) {
            error = std::current_exception();
          }
          going = run.Finish(index, std::move(error));
        }
      }
    });
  }
  for (std::size_t index = 0; index < count; ++index) {
    run.WaitFor(index);
    hand(index);
    run.Handed(index);
  }
}

}  // namespace kestrel::cli
