// Replays the fuzzer's seed corpus (fuzz/corpus/archive/) through the reader in every mode, so
// each run of the test suite exercises it without libFuzzer. Seeds with a known outcome are
// checked for it; any other file there (one the fuzzer found) must load or fail with one
// numbered error.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "archive/reader.h"
#include "support/archive_fixture.h"

namespace tovask {
namespace {

using ::testing::AnyOf;
using ::testing::ElementsAre;

// Expected result per mode (IndexOnly, WithBlocks, WithDataArea): 0 = loads, else the code.
struct Outcome {
  int indexOnly;
  int withBlocks;
  int withDataArea;
};

const std::map<std::string, Outcome>& KnownSeeds() {
  static const std::map<std::string, Outcome> seeds = {
      {"valid-1-entry.tvk", {0, 0, 0}},         {"valid-2-entries.tvk", {0, 0, 0}},
      {"valid-3-entries.tvk", {0, 0, 0}},       {"valid-encrypted.tvk", {0, 0, 0}},
      {"valid-empty-data-area.tvk", {0, 0, 0}}, {"valid-long-header.tvk", {0, 0, 0}},
      {"valid-carried-gaps.tvk", {0, 0, 0}},    {"truncated-in-header.tvk", {53, 53, 53}},
      {"truncated-in-count.tvk", {53, 53, 53}}, {"truncated-in-index.tvk", {53, 53, 53}},
      {"truncated-in-data.tvk", {0, 54, 0}},    {"bad-magic.tvk", {51, 51, 51}},
      {"bad-version.tvk", {52, 52, 52}},        {"count-zero.tvk", {53, 53, 53}},
      {"count-huge.tvk", {53, 53, 53}},         {"block-length-negative.tvk", {53, 53, 53}},
      {"record-garbage.tvk", {53, 53, 53}},     {"stored-past-end.tvk", {0, 54, 0}},
      {"text-file.tvk", {53, 53, 53}},
  };
  return seeds;
}

class FuzzCorpusTest : public testing::ArchiveFixture {};

TEST_F(FuzzCorpusTest, EverySeedLoadsAsExpectedInEveryMode) {
  const std::filesystem::path folder =
      std::filesystem::path(TOVASK_SOURCE_DIR) / "fuzz" / "corpus" / "archive";
  ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
  std::map<std::string, bool> seen;
  for (const auto& item : std::filesystem::directory_iterator(folder)) {
    if (!item.is_regular_file()) continue;
    const std::string name = item.path().filename().string();
    seen[name] = true;
    const auto known = KnownSeeds().find(name);
    for (const LoadMode mode :
         {LoadMode::IndexOnly, LoadMode::WithBlocks, LoadMode::WithDataArea}) {
      ClearErrorLog(context);
      LoadOptions options;
      options.mode = mode;
      const bool ok = LoadArchiveIndex(context, index, item.path().string(), options);
      const std::string where = name + " mode " + std::to_string(static_cast<int>(mode));
      if (known != KnownSeeds().end()) {
        const int expected = mode == LoadMode::IndexOnly    ? known->second.indexOnly
                             : mode == LoadMode::WithBlocks ? known->second.withBlocks
                                                            : known->second.withDataArea;
        if (expected == 0) {
          EXPECT_TRUE(ok) << where << ": " << context.errorLog;
          EXPECT_GT(index.count, 0) << where;
        } else {
          EXPECT_FALSE(ok) << where;
          EXPECT_THAT(Codes(), ElementsAre(expected)) << where << ": " << context.errorLog;
        }
      } else if (!ok) {
        EXPECT_THAT(Codes(), ElementsAre(AnyOf(2, 51, 52, 53, 54))) << where;
      }
    }
  }
  for (const auto& [name, outcome] : KnownSeeds()) {
    EXPECT_TRUE(seen.contains(name)) << "seed missing from the corpus: " << name;
  }
}

}  // namespace
}  // namespace tovask
