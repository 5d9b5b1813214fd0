#include "support/fault_plan.h"

#include <utility>

namespace tovask::testing {

struct FaultPlan::State {
  platform::FileOp op;
  int nth = 0;
  Options options;
  int calls = 0;
  bool fired = false;
};

FaultPlan::FaultPlan(platform::FileOp op, int nth) : FaultPlan(op, nth, Options{}) {}

FaultPlan::FaultPlan(platform::FileOp op, int nth, Options options)
    : state_(std::make_shared<State>()) {
  state_->op = op;
  state_->nth = nth;
  state_->options = std::move(options);
  // The hook shares the state, so counts stay visible here while the platform layer runs it.
  platform::SetFaultHook([state = state_](platform::FileOp called, const std::string& path) {
    if (called != state->op) return 0;
    if (state->options.filter && !state->options.filter(path)) return 0;
    ++state->calls;
    if (state->nth <= 0) return 0;
    const bool fail =
        state->calls == state->nth || (state->options.persistent && state->calls > state->nth);
    if (!fail) return 0;
    state->fired = true;
    return state->options.errorNumber;
  });
}

FaultPlan::~FaultPlan() { platform::SetFaultHook({}); }

int FaultPlan::calls() const { return state_->calls; }

bool FaultPlan::fired() const { return state_->fired; }

FaultPlan::PathFilter PathsUnder(const std::string& folder) {
  return [folder](const std::string& path) {
    if (path.compare(0, folder.size(), folder) != 0) return false;
    return path.size() == folder.size() || path[folder.size()] == '/';
  };
}

}  // namespace tovask::testing
