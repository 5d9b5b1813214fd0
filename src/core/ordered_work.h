// OrderedWork: computes the results of items 0..count-1 on worker threads, ahead of one
// consumer that takes them strictly in item order on its own thread.
//
// The consumer sees exactly the sequence a single-threaded loop would produce, so whatever it
// does with each result (progress reports, messages, the archive's layout) is the same
// whatever the number of workers. Workers only compute: produce(item, worker) must not touch
// anything the consumer uses meanwhile; `worker` (0..workers-1) picks the worker's own
// reusable state (contexts, buffers).
//
// Memory stays bounded: an item starts only while the items started and not yet taken hold
// at most `budget` (by cost(item), e.g. its input size) and number at most `maxAhead`; an item
// always starts when nothing else is in flight, however large it is.
//
// With one worker no thread is started: Take() computes the next item itself, on the
// consumer's thread (the reference behaviour, and the one to debug with).
//
// The destructor stops the workers: items not started are dropped, running ones finish
// (their results are discarded), every thread is joined. An exception thrown by produce is
// rethrown by the Take() of its item.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace tovask {

struct AppContext;

// The number of worker threads an operation uses: AppContext::workerThreads when not 0,
// else the environment variable TOVASK_WORKERS when it holds a number 1..256, else one per
// processor the process may run on.
[[nodiscard]] unsigned WorkerThreads(const AppContext& context);

template <typename Result>
class OrderedWork {
 public:
  using Produce = std::function<Result(std::size_t item, unsigned worker)>;
  using Cost = std::function<std::uint64_t(std::size_t item)>;

  struct Limits {
    unsigned workers = 1;
    std::uint64_t budget = std::uint64_t{64} << 20;
    std::size_t maxAhead = 64;
  };

  OrderedWork(std::size_t count, Limits limits, Cost cost, Produce produce)
      : count_(count), limits_(limits), cost_(std::move(cost)), produce_(std::move(produce)) {
    if (limits_.maxAhead == 0) limits_.maxAhead = 1;
    if (limits_.workers <= 1) return;
    threads_.reserve(limits_.workers);
    for (unsigned w = 0; w < limits_.workers; ++w) {
      threads_.emplace_back([this, w] { WorkerLoop(w); });
    }
  }

  ~OrderedWork() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }

  OrderedWork(const OrderedWork&) = delete;
  OrderedWork& operator=(const OrderedWork&) = delete;

  // The result of the next item in order (the first call gives item 0). Must not be called
  // more than count times.
  Result Take() {
    if (threads_.empty()) return produce_(nextToTake_++, 0);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !slots_.empty() && slots_.front().done; });
    Slot slot = std::move(slots_.front());
    slots_.pop_front();
    inFlightCost_ -= slot.cost;
    ++nextToTake_;
    lock.unlock();
    changed_.notify_all();  // room for more items
    if (slot.error) std::rethrow_exception(slot.error);
    return std::move(*slot.result);
  }

 private:
  struct Slot {
    bool done = false;
    std::uint64_t cost = 0;
    std::optional<Result> result;
    std::exception_ptr error;
  };

  // Whether the next item may start now (mutex held).
  [[nodiscard]] bool MayStart() const {
    if (nextToStart_ >= count_) return false;
    if (slots_.empty()) return true;
    if (slots_.size() >= limits_.maxAhead) return false;
    return inFlightCost_ + cost_(nextToStart_) <= limits_.budget;
  }

  void WorkerLoop(unsigned worker) {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return stopping_ || MayStart(); });
      if (stopping_) return;
      const std::size_t item = nextToStart_++;
      const std::uint64_t cost = cost_(item);
      inFlightCost_ += cost;
      slots_.push_back(Slot{false, cost, std::nullopt, nullptr});
      // Slots are taken from the front only and this one is still pending, so its position
      // from the front stays item - nextToTake_ until it is done.
      lock.unlock();
      std::optional<Result> result;
      std::exception_ptr error;
      try {
        result.emplace(produce_(item, worker));
      } catch (...) {
        error = std::current_exception();
      }
      lock.lock();
      Slot& slot = slots_[item - nextToTake_];
      slot.result = std::move(result);
      slot.error = error;
      slot.done = true;
      changed_.notify_all();
    }
  }

  const std::size_t count_;
  Limits limits_;
  const Cost cost_;
  const Produce produce_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Slot> slots_;  // items nextToTake_ .. nextToStart_-1
  std::size_t nextToStart_ = 0;
  std::size_t nextToTake_ = 0;
  std::uint64_t inFlightCost_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace tovask
