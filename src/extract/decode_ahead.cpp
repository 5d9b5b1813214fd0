#include "extract/decode_ahead.h"

#include <utility>

namespace tovask {

DecodeAhead::DecodeAhead(unsigned workers, std::uint64_t budget, std::size_t maxAhead,
                         Decode decode)
    : budget_(budget), maxAhead_(maxAhead == 0 ? 1 : maxAhead), decode_(std::move(decode)) {
  threads_.reserve(workers);
  for (unsigned w = 0; w < workers; ++w) threads_.emplace_back([this] { WorkerLoop(); });
}

DecodeAhead::~DecodeAhead() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  queued_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

bool DecodeAhead::HasRoom(std::uint64_t cost) const {
  const std::lock_guard lock(mutex_);
  if (slots_.empty()) return true;
  return slots_.size() < maxAhead_ && inFlight_ + cost <= budget_;
}

void DecodeAhead::Submit(std::size_t entry, std::uint64_t cost, std::string password) {
  {
    const std::lock_guard lock(mutex_);
    Slot& slot = slots_.emplace_back();
    slot.entry = entry;
    slot.cost = cost;
    slot.password = std::move(password);
    inFlight_ += cost;
  }
  queued_.notify_one();
}

std::size_t DecodeAhead::Oldest() const {
  const std::lock_guard lock(mutex_);
  return slots_.empty() ? SIZE_MAX : slots_.front().entry;
}

DecodeAhead::Result DecodeAhead::Take() {
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return slots_.front().state == State::Done; });
  Slot slot = std::move(slots_.front());
  slots_.pop_front();
  inFlight_ -= slot.cost;
  lock.unlock();
  if (slot.error) std::rethrow_exception(slot.error);
  return std::move(slot.result);
}

void DecodeAhead::WorkerLoop() {
  Bytes readBuffer;
  std::unique_lock lock(mutex_);
  for (;;) {
    Slot* next = nullptr;
    queued_.wait(lock, [&] {
      if (stopping_) return true;
      for (Slot& slot : slots_) {
        if (slot.state == State::Queued) {
          next = &slot;
          return true;
        }
      }
      return false;
    });
    if (stopping_) return;
    // A deque keeps its elements in place while others are added at the back, and the
    // consumer removes only slots that are done: `next` stays valid while unlocked.
    next->state = State::Running;
    const std::size_t entry = next->entry;
    const std::string password = next->password;
    lock.unlock();
    Result result;
    std::exception_ptr error;
    try {
      result = decode_(entry, password, readBuffer);
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    next->result = std::move(result);
    next->error = error;
    next->state = State::Done;
    done_.notify_all();
  }
}

}  // namespace tovask
