// A ProgressSink for tests: records every report and every ProcessEvents call, and can play
// the user who presses "interrupt" at a chosen call.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/progress.h"

namespace tovask::testing {

class RecordingSink : public ProgressSink {
 public:
  struct Record {
    int percent = 0;
    std::string text;
    friend bool operator==(const Record&, const Record&) = default;
  };

  RecordingSink() = default;

  // The n-th Report (1-based) and every later one answer false; 0 never interrupts.
  void InterruptAtReport(int n) { interruptAtReport_ = n; }
  // The same for ProcessEvents calls.
  void InterruptAtEvents(int n) { interruptAtEvents_ = n; }

  // Called inside Report before it answers, with the 1-based number of the report, so a
  // test can change the world at an exact point of an operation.
  std::function<void(int number, const Record& record)> onReport;

  [[nodiscard]] bool Report(int percent, const std::string& text) override;
  [[nodiscard]] bool ProcessEvents() override;

  [[nodiscard]] const std::vector<Record>& records() const { return records_; }
  [[nodiscard]] std::vector<int> Percents() const;
  [[nodiscard]] int eventCalls() const { return eventCalls_; }
  // True once an interrupt has been answered.
  [[nodiscard]] bool interrupted() const { return interrupted_; }

 private:
  std::vector<Record> records_;
  int eventCalls_ = 0;
  int interruptAtReport_ = 0;
  int interruptAtEvents_ = 0;
  bool interrupted_ = false;
};

}  // namespace tovask::testing
