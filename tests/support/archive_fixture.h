// Shared pieces of the archive tests: a started AppContext whose message file lives in its own
// temporary folder, a folder for archives that holds nothing else, a sink that records every
// report, and helpers to read the error log.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "archive/archive_index.h"
#include "core/app_context.h"
#include "core/progress.h"
#include "core/startup.h"
#include "support/temp_dir.h"

namespace tovask::testing {

// Every report, in order; Report returns false at report number interruptAt (1-based).
class ReportLog : public ProgressSink {
 public:
  explicit ReportLog(int interruptAt = 0) : interruptAt_(interruptAt) {}
  bool Report(int percent, const std::string& text) override {
    reports.emplace_back(percent, text);
    return static_cast<int>(reports.size()) != interruptAt_;
  }
  [[nodiscard]] std::vector<int> Percents() const {
    std::vector<int> result;
    for (const auto& report : reports) result.push_back(report.first);
    return result;
  }
  std::vector<std::pair<int, std::string>> reports;

 private:
  int interruptAt_;
};

// The codes of the errors recorded in the context, in order.
[[nodiscard]] std::vector<int> LoggedCodes(const AppContext& context);

class ArchiveFixture : public ::testing::Test {
 protected:
  ArchiveFixture() { StartUp(context, home.path()); }

  [[nodiscard]] std::string ArchivePath(const std::string& name = "test.tvk") const {
    return work / name;
  }
  [[nodiscard]] std::vector<int> Codes() const { return LoggedCodes(context); }
  // Names in the archive folder (sorted), to prove no temporary file was left behind.
  [[nodiscard]] std::vector<std::string> WorkFolderNames() const;

  TempDir home;  // the program directory (message file)
  TempDir work;  // archives only
  AppContext context;
  ArchiveIndex index;
};

}  // namespace tovask::testing
