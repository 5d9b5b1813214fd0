#include "core/operation.h"

namespace tovask {

std::string Outcome::LogText() const {
  std::string text;
  for (const LoggedMessage& message : messages) {
    if (!text.empty()) text += "\r\n";
    text += LogLine(message);
  }
  return text;
}

bool InterruptWatch::Report(int percent, const std::string& text) {
  if (!interrupted_ && watched_ != nullptr && !watched_->Report(percent, text)) {
    interrupted_ = true;
  }
  return !interrupted_;
}

bool InterruptWatch::ProcessEvents() {
  if (!interrupted_ && watched_ != nullptr && !watched_->ProcessEvents()) interrupted_ = true;
  return !interrupted_;
}

Outcome OutcomeOf(const AppContext& context, bool ok, const InterruptWatch& watch,
                  bool cancelled) {
  Outcome outcome;
  outcome.messages = context.errorMessages;
  if (watch.interrupted()) {
    outcome.kind = OutcomeKind::Interrupted;
  } else if (cancelled) {
    outcome.kind = OutcomeKind::Cancelled;
  } else if (!ok || !outcome.messages.empty()) {
    outcome.kind = OutcomeKind::Failed;
  }
  return outcome;
}

}  // namespace tovask
