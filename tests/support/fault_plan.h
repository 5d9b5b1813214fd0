// FaultPlan: makes one platform file operation fail on purpose, through the platform layer's
// fault hook, and counts how often that operation ran. Tests run as root, where a permission
// failure never happens by itself, so every file fault a test needs comes from here.
//
//   FaultPlan plan(FileOp::Write, 3);          // the third Write fails with EIO
//   FaultPlan counter(FileOp::Write, 0);       // fails nothing, only counts
//   plan.calls();                              // matching calls seen so far
//
// Only one plan may be alive at a time (there is one hook); the destructor removes the hook.
#pragma once

#include <cerrno>
#include <functional>
#include <memory>
#include <string>

#include "platform/file_handle.h"

namespace tovask::testing {

class FaultPlan {
 public:
  using PathFilter = std::function<bool(const std::string& path)>;

  struct Options {
    int errorNumber = EIO;
    // Also fail every matching call after the nth (a disk that stays full).
    bool persistent = false;
    // Only calls whose path passes the filter are counted and can fail; empty: every call.
    PathFilter filter;
  };

  // Fails the nth (1-based) call of op; nth 0 fails nothing and only counts.
  FaultPlan(platform::FileOp op, int nth);
  FaultPlan(platform::FileOp op, int nth, Options options);
  ~FaultPlan();
  FaultPlan(const FaultPlan&) = delete;
  FaultPlan& operator=(const FaultPlan&) = delete;

  // Matching calls of op so far, the failed ones included.
  [[nodiscard]] int calls() const;
  // True once the plan has made a call fail.
  [[nodiscard]] bool fired() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

// A filter for paths inside folder (the folder itself included).
[[nodiscard]] FaultPlan::PathFilter PathsUnder(const std::string& folder);

}  // namespace tovask::testing
