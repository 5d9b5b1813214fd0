// DecodeAhead: decodes entries on worker threads ahead of the one thread that consumes the
// results, which it takes strictly in the order the entries were submitted.
//
// The consumer (the operation's calling thread) decides what to submit and when, so whatever
// it does with the results (messages, questions, progress, files) happens in the same order
// as in a run that decodes each entry itself. Workers only compute: the decode function must
// touch nothing the consumer uses meanwhile.
//
// Memory stays bounded: HasRoom admits an entry while the submitted and not yet taken entries
// cost at most `budget` together (by the cost given, e.g. the content's size) and number fewer
// than `maxAhead`; an entry is always admitted when nothing else is in flight.
//
// The destructor stops the workers: entries not started are dropped, running ones finish
// (their results are discarded), every thread is joined.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "extract/entry_decoder.h"

namespace tovask {

class DecodeAhead {
 public:
  struct Result {
    EntryDecodeResult decode;
    Bytes content;  // the content, when decode.check is Ok
  };
  // Runs on a worker: decodes entry with password, readBuffer being the worker's own.
  using Decode =
      std::function<Result(std::size_t entry, const std::string& password, Bytes& readBuffer)>;

  DecodeAhead(unsigned workers, std::uint64_t budget, std::size_t maxAhead, Decode decode);
  ~DecodeAhead();
  DecodeAhead(const DecodeAhead&) = delete;
  DecodeAhead& operator=(const DecodeAhead&) = delete;

  [[nodiscard]] bool HasRoom(std::uint64_t cost) const;
  void Submit(std::size_t entry, std::uint64_t cost, std::string password);
  // The entry number of the oldest entry submitted and not taken, or SIZE_MAX for none.
  [[nodiscard]] std::size_t Oldest() const;
  // The result of the oldest entry submitted and not taken, waiting for it. An exception
  // thrown by its decode is rethrown here.
  [[nodiscard]] Result Take();

 private:
  enum class State { Queued, Running, Done };
  struct Slot {
    std::size_t entry = 0;
    std::uint64_t cost = 0;
    std::string password;
    State state = State::Queued;
    Result result;
    std::exception_ptr error;
  };

  void WorkerLoop();

  const std::uint64_t budget_;
  const std::size_t maxAhead_;
  const Decode decode_;
  mutable std::mutex mutex_;
  std::condition_variable queued_;  // a slot was queued, or stopping
  std::condition_variable done_;    // a slot is done
  std::deque<Slot> slots_;          // in submission order; taken from the front
  std::uint64_t inFlight_ = 0;      // cost of the slots
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace tovask
