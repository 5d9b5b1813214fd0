#include "support/fault_plan.h"

#include <algorithm>
#include <utility>

namespace tovask::testing {

struct FaultPlan::State {
  std::optional<platform::FileOp> op;  // empty: every kind
  int nth = 0;
  Options options;
  int calls = 0;
  std::vector<Call> failed;
};

FaultPlan::FaultPlan(platform::FileOp op, int nth) : FaultPlan(op, nth, Options{}) {}

FaultPlan::FaultPlan(platform::FileOp op, int nth, Options options)
    : FaultPlan(std::optional(op), nth, std::move(options)) {}

FaultPlan FaultPlan::AnyCall(int nth) { return AnyCall(nth, Options{}); }

FaultPlan FaultPlan::AnyCall(int nth, Options options) {
  return FaultPlan(std::nullopt, nth, std::move(options));
}

FaultPlan::FaultPlan(std::optional<platform::FileOp> op, int nth, Options options)
    : state_(std::make_shared<State>()) {
  state_->op = op;
  state_->nth = nth;
  state_->options = std::move(options);
  // The hook shares the state, so counts stay visible here while the platform layer runs it.
  platform::SetFaultHook([state = state_](platform::FileOp called, const std::string& path) {
    if (state->op && called != *state->op) return 0;
    if (state->options.filter && !state->options.filter(path)) return 0;
    ++state->calls;
    if (state->nth <= 0) return 0;
    const bool fail =
        state->calls == state->nth || (state->options.persistent && state->calls > state->nth);
    if (!fail) return 0;
    const std::vector<platform::FileOp>& spared = state->options.spared;
    if (std::find(spared.begin(), spared.end(), called) != spared.end()) return 0;
    state->failed.push_back({called, path});
    return state->options.errorNumber;
  });
}

FaultPlan::~FaultPlan() { platform::SetFaultHook({}); }

int FaultPlan::calls() const { return state_->calls; }

bool FaultPlan::fired() const { return !state_->failed.empty(); }

const std::vector<FaultPlan::Call>& FaultPlan::failedCalls() const { return state_->failed; }

FaultPlan::PathFilter PathsUnder(const std::string& folder) {
  return [folder](const std::string& path) {
    if (path.compare(0, folder.size(), folder) != 0) return false;
    return path.size() == folder.size() || path[folder.size()] == '/';
  };
}

std::string_view FileOpName(platform::FileOp op) {
  using platform::FileOp;
  switch (op) {
    case FileOp::OpenRead:
      return "OpenRead";
    case FileOp::Lock:
      return "Lock";
    case FileOp::CreateTemp:
      return "CreateTemp";
    case FileOp::Read:
      return "Read";
    case FileOp::Seek:
      return "Seek";
    case FileOp::Write:
      return "Write";
    case FileOp::Sync:
      return "Sync";
    case FileOp::Close:
      return "Close";
    case FileOp::Rename:
      return "Rename";
    case FileOp::Remove:
      return "Remove";
    case FileOp::CreateFolder:
      return "CreateFolder";
    case FileOp::SetTime:
      return "SetTime";
    case FileOp::SetMode:
      return "SetMode";
    case FileOp::ReadFolder:
      return "ReadFolder";
  }
  return "?";
}

}  // namespace tovask::testing
