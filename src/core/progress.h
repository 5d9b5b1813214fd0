// ProgressSink: the optional progress channel of every long operation, and its interrupt.
//
// Threads and lifetime: an operation calls its sink on the thread that started the operation
// (the desktop program's user-interface thread, tvk's main thread), never from another thread,
// and only while the operation runs; the sink must outlive the call that was given it. After a
// Report or ProcessEvents that answered false, the operation stops at that point and reports
// nothing more.
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
