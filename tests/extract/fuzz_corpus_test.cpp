// Replays the extraction fuzzer's corpus (fuzz/corpus/extract/) through the same safety check
// the fuzzer applies, so every seed, hostile names included, is tested on every run.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "extract/extract_safety_check.h"
#include "support/temp_dir.h"

namespace tovask::testing {
namespace {

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& item : std::filesystem::directory_iterator(
           std::string(TOVASK_SOURCE_DIR) + "/fuzz/corpus/extract", ec)) {
    if (item.is_regular_file()) files.push_back(item.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(ExtractFuzzCorpusTest, EverySeedStaysInsideTheTarget) {
  const std::vector<std::string> files = CorpusFiles();
  ASSERT_GE(files.size(), 10u) << "the corpus is missing";
  for (const std::string& path : files) {
    const std::string bytes = ReadFile(path);
    EXPECT_EQ(tovask::fuzzcheck::ExtractAndCheck(
                  reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
              "")
        << path;
  }
}

TEST(ExtractFuzzCorpusTest, CheckNoticesEveryKindOfEscape) {
  // The check must be able to fail: plant each kind of escape by hand after a clean run.
  const std::string bytes = ReadFile(CorpusFiles().front());
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  struct Case {
    const char* label;
    std::function<void(const std::string&)> tamper;
  };
  const Case cases[] = {
      {"beside root", [](const std::string& root) { WriteFile(root + "/../x", ""); }},
      {"beside target", [](const std::string& root) { WriteFile(root + "/x", ""); }},
      {"in sentinel", [](const std::string& root) { WriteFile(root + "/sentinel/x", ""); }},
      {"in archive folder", [](const std::string& root) { WriteFile(root + "/arch/x", ""); }},
      {"link in target",
       [](const std::string& root) {
         std::filesystem::create_directory_symlink(root + "/sentinel", root + "/out/l");
       }},
  };
  EXPECT_EQ(tovask::fuzzcheck::ExtractAndCheck(data, bytes.size()), "");
  for (const Case& c : cases) {
    EXPECT_NE(tovask::fuzzcheck::ExtractAndCheck(data, bytes.size(), c.tamper), "") << c.label;
  }
}

}  // namespace
}  // namespace tovask::testing
