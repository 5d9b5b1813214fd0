// FaultPlan: makes platform file operations fail on purpose, through the platform layer's fault
// hook, and counts the calls it sees. Tests run as root, where a permission failure never
// happens by itself, so every file fault a test needs comes from here.
//
//   FaultPlan plan(FileOp::Write, 3);          // the third Write fails with EIO
//   FaultPlan counter(FileOp::Write, 0);       // fails nothing, only counts Writes
//   FaultPlan all = FaultPlan::AnyCall(0);     // counts every file call, of any kind
//   FaultPlan disk = FaultPlan::AnyCall(7, {.errorNumber = ENOSPC, .persistent = true});
//                                              // the 7th call of any kind and every later one
//                                              //   (with .spared = {FileOp::Remove}: but removals)
//   plan.calls();                              // matching calls seen so far
//   plan.failedCalls();                        // what was made to fail: op and path
//
// Errors worth choosing: ENOSPC (disk full), EIO (a failing disk), EACCES (no permission),
// EXDEV (a rename refused across volumes). A failing Write or copy writes half of its bytes
// first (a short write); a failing Close releases the descriptor all the same. Every call of
// the engine that touches the file system goes through the hook (platform/file_handle.h lists
// them), so AnyCall's count is the number of places a run can fail.
//
// Only one plan may be alive at a time (there is one hook); the destructor removes the hook.
#pragma once

#include <cerrno>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
    PathFilter filter = {};
    // Counted but never failed: e.g. Remove, for a full disk that still lets files go.
    std::vector<platform::FileOp> spared = {};
  };

  struct Call {
    platform::FileOp op;
    std::string path;
  };

  // Fails the nth (1-based) call of op; nth 0 fails nothing and only counts.
  FaultPlan(platform::FileOp op, int nth);
  FaultPlan(platform::FileOp op, int nth, Options options);
  // The same over the calls of every kind.
  [[nodiscard]] static FaultPlan AnyCall(int nth);
  [[nodiscard]] static FaultPlan AnyCall(int nth, Options options);
  ~FaultPlan();
  FaultPlan(const FaultPlan&) = delete;
  FaultPlan& operator=(const FaultPlan&) = delete;

  // Matching calls so far, the failed ones included.
  [[nodiscard]] int calls() const;
  // True once the plan has made a call fail.
  [[nodiscard]] bool fired() const;
  // The calls made to fail, in order.
  [[nodiscard]] const std::vector<Call>& failedCalls() const;

 private:
  FaultPlan(std::optional<platform::FileOp> op, int nth, Options options);
  struct State;
  std::shared_ptr<State> state_;
};

// A filter for paths inside folder (the folder itself included).
[[nodiscard]] FaultPlan::PathFilter PathsUnder(const std::string& folder);

// The operation's name, for test messages ("Write").
[[nodiscard]] std::string_view FileOpName(platform::FileOp op);

}  // namespace tovask::testing
