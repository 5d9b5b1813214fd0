// Replays the terminal walkthrough of README.md: every "$ " line runs in a fresh folder through
// /bin/sh with the built tvk first on PATH, and what it prints (stdout and stderr together)
// must be exactly the lines below it. So the README cannot drift from the program.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/run_process.h"
#include "support/temp_dir.h"

namespace tovask {
namespace {

struct Step {
  std::string command;
  std::string expected;
};

// The first ```console block after the "## Using tvk" heading.
std::vector<Step> WalkthroughSteps(const std::string& readme) {
  std::vector<Step> steps;
  const auto section = readme.find("## Using tvk");
  if (section == std::string::npos) return steps;
  const auto start = readme.find("```console\n", section);
  if (start == std::string::npos) return steps;
  std::istringstream lines(readme.substr(start + 11));
  std::string line;
  while (std::getline(lines, line) && line != "```") {
    if (line.rfind("$ ", 0) == 0) {
      steps.push_back({line.substr(2), ""});
    } else if (!steps.empty()) {
      steps.back().expected += line + "\n";
    }
  }
  return steps;
}

TEST(ReadmeWalkthrough, EveryCommandPrintsWhatTheReadmeShows) {
  const std::string readme = testing::ReadFile(std::string(TOVASK_SOURCE_DIR) + "/README.md");
  const std::vector<Step> steps = WalkthroughSteps(readme);
  ASSERT_GE(steps.size(), 10u) << "the walkthrough block was not found in README.md";

  testing::TempDir dir;
  std::string tvkDir = TVK_EXECUTABLE;
  tvkDir = tvkDir.substr(0, tvkDir.rfind('/'));
  testing::ProcessOptions options;
  options.workingDirectory = dir.path();
  options.env = {{"PATH", tvkDir + ":/usr/bin:/bin"}, {"TZ", "UTC"}, {"LC_ALL", "C.UTF-8"}};
  for (const Step& step : steps) {
    const auto result =
        testing::RunProcess("/bin/sh", {"-c", "exec 2>&1\n" + step.command}, options);
    EXPECT_EQ(result.out, step.expected) << "$ " << step.command;
  }
}

}  // namespace
}  // namespace tovask
