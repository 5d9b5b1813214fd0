// The one shape of every archive operation (create/add, delete, rename, set password,
// extract, test): Operation(AppContext&, XRequest, const OperationSeams&) -> Outcome.
//
// A request is a plain struct the operation takes by value: nothing of the caller's record is
// used once the call has started, so a window may reset its own record meanwhile. The seams are
// how the operation reaches the user; each may be null, with the meaning its operation states.
//
// Threads and lifetime: an operation runs on the calling thread from start to end and calls
// its seams on that thread only, while it runs; every seam must outlive the call. A progress
// sink that has answered false (the user pressed "中断" or Ctrl-C) is not called again: the
// operation stops at that report, leaves the archive on disk as it was (extraction keeps the
// files it has already written) and its outcome is Interrupted.
#pragma once

#include <string>
#include <vector>

#include "core/app_context.h"
#include "core/message_codes.h"
#include "core/progress.h"
#include "core/prompts.h"

namespace tovask {

struct OperationSeams {
  ProgressSink* progress = nullptr;     // null: no reports, no interrupt
  PasswordPrompt* password = nullptr;   // null: a needed password counts as cancelled
  OverwriteQuestion* overwrite = nullptr;  // null: a needed question counts as "no"
};

enum class OutcomeKind {
  Done,         // everything asked was done; no message
  Failed,       // something could not be done; the messages say what
  Cancelled,    // the user declined a question that ends the run, which is no failure
  Interrupted,  // the progress sink answered false; 107 is among the messages
};

struct Outcome {
  OutcomeKind kind = OutcomeKind::Done;
  std::vector<LoggedMessage> messages;  // in the order recorded

  [[nodiscard]] bool done() const { return kind == OutcomeKind::Done; }
  // The messages as the error log shows them: "code:text" lines joined by CR LF, equal to
  // AppContext::errorLog after the operation.
  [[nodiscard]] std::string LogText() const;
};

// Passes reports on to a sink and remembers whether it answered false; after that it answers
// false itself without calling the sink again. sink() is null when there is no sink to watch,
// so an operation still runs without progress reports then.
class InterruptWatch final : public ProgressSink {
 public:
  explicit InterruptWatch(ProgressSink* watched) : watched_(watched) {}
  bool Report(int percent, const std::string& text) override;
  bool ProcessEvents() override;
  [[nodiscard]] ProgressSink* sink() { return watched_ != nullptr ? this : nullptr; }
  [[nodiscard]] bool interrupted() const { return interrupted_; }

 private:
  ProgressSink* watched_;
  bool interrupted_ = false;
};

// The outcome of an operation that cleared the error log when it started: Interrupted when the
// watch saw the sink answer false, else Cancelled when cancelled, else Done when ok and nothing
// was recorded, else Failed; the messages are the context's error list.
[[nodiscard]] Outcome OutcomeOf(const AppContext& context, bool ok, const InterruptWatch& watch,
                                bool cancelled = false);

}  // namespace tovask
