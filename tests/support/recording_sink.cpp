#include "support/recording_sink.h"

namespace tovask::testing {

bool RecordingSink::Report(int percent, const std::string& text) {
  records_.push_back({percent, text});
  const int number = static_cast<int>(records_.size());
  if (onReport) onReport(number, records_.back());
  // An interrupt stays pressed: the user does not take it back.
  if (interruptAtReport_ > 0 && number >= interruptAtReport_) interrupted_ = true;
  return !interrupted_;
}

bool RecordingSink::ProcessEvents() {
  ++eventCalls_;
  if (interruptAtEvents_ > 0 && eventCalls_ >= interruptAtEvents_) interrupted_ = true;
  return !interrupted_;
}

std::vector<int> RecordingSink::Percents() const {
  std::vector<int> percents;
  percents.reserve(records_.size());
  for (const Record& record : records_) percents.push_back(record.percent);
  return percents;
}

}  // namespace tovask::testing
