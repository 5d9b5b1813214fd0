// ProgressSink: the optional progress channel of every long operation, and its interrupt.
#pragma once

#include <string>

namespace tovask {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  // Shows the percent and the text (valid only during the call) and lets the user interface
  // process pending events. Returns false when the user has interrupted the operation: the
  // operation then stops at this report, leaving the archive on disk as it was.
  [[nodiscard]] virtual bool Report(int percent, const std::string& text) = 0;
  // Lets the user interface process pending events without a report (the folder walk calls
  // it once per folder). Returns false when the user has interrupted the operation.
  [[nodiscard]] virtual bool ProcessEvents() { return true; }
};

}  // namespace tovask
