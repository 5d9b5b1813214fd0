// How tvk reads the paths it is given: relative to the current folder and normalised, with a
// closing separator kept where it carries meaning (a folder source's names start inside it).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/run_process.h"
#include "support/temp_dir.h"

namespace tovask::testing {
namespace {

using Names = std::vector<std::string>;

class PathArgumentsTest : public ::testing::Test {
 protected:
  PathArgumentsTest() {
    WriteFile(dir_ / "Data/a.txt", "a");
    WriteFile(dir_ / "Data/sub/b.txt", "b");
  }

  // Runs tvk in the test folder, so relative arguments are resolved against it.
  ProcessResult Tvk(const std::vector<std::string>& args) {
    ProcessOptions options;
    options.workingDirectory = dir_.path();
    return RunTvk(args, options);
  }

  // The entry names of an archive, in stored order (the first column of tvk list).
  Names EntryNames(const std::string& archive) {
    const ProcessResult r = Tvk({"list", archive});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    std::getline(lines, line);  // column titles
    Names names;
    while (std::getline(lines, line)) names.push_back(line.substr(0, line.find('\t')));
    return names;
  }

  // Every path below folder, relative to it, sorted.
  static Names Tree(const std::string& folder) {
    Names names;
    if (!std::filesystem::exists(folder)) return names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
      names.push_back(std::filesystem::relative(entry.path(), folder).string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir dir_;
};

TEST_F(PathArgumentsTest, ClosingSeparatorStoresNamesFromInsideTheFolder) {
  const Names inside = {"a.txt", "sub\\b.txt"};
  const Names withName = {"Data\\a.txt", "Data\\sub\\b.txt"};
  const struct {
    std::string source;
    Names names;
  } cases[] = {
      {"Data/", inside},
      {"Data", withName},
      {"./Data//./", inside},
      {"Data/sub/../", inside},
      {dir_ / "Data/", inside},
      {dir_ / "Data", withName},
      // A closing "." or ".." level names the folder, as its name would.
      {"Data/.", withName},
      {"Data/sub/..", withName},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    const ProcessResult r = Tvk({"create", "x.tvk", c.source});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(EntryNames("x.tvk"), c.names);
  }
  // add keeps the same rule: the names from inside join the ones with the folder's name.
  ASSERT_EQ(Tvk({"add", "x.tvk", "Data/sub/"}).exitCode, 0);
  EXPECT_EQ(EntryNames("x.tvk"), (Names{"Data\\a.txt", "Data\\sub\\b.txt", "b.txt"}));
}

TEST_F(PathArgumentsTest, TargetFolderWithClosingSeparatorReceivesTheFiles) {
  ASSERT_EQ(Tvk({"create", "x.tvk", "Data/"}).exitCode, 0);
  const std::pair<std::string, std::string> cases[] = {
      {"out/", "out"}, {"new//", "new"}, {dir_ / "abs/", "abs"}, {"./out/../other/", "other"}};
  for (const auto& [target, name] : cases) {
    SCOPED_TRACE(target);
    const ProcessResult r = Tvk({"extract", "x.tvk", "-o", target});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string folder = dir_ / name;
    EXPECT_EQ(Tree(folder), (Names{"a.txt", "sub", "sub/b.txt"}));
    EXPECT_EQ(ReadFile(folder + "/sub/b.txt"), "b");
  }
}

// "x.tvk/" names a folder, never the archive file: every command refuses it, and nothing is
// created, neither a file nor a folder of that name.
TEST_F(PathArgumentsTest, ArchivePathWithClosingSeparatorIsRefused) {
  for (const char* command : {"create", "add"}) {
    SCOPED_TRACE(command);
    const ProcessResult r = Tvk({command, "new.tvk/", "Data"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.substr(0, 2), "1:") << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "new.tvk"));
  }
  ASSERT_EQ(Tvk({"create", "x.tvk", "Data"}).exitCode, 0);
  const std::string before = ReadFile(dir_ / "x.tvk");
  const std::vector<std::vector<std::string>> commands = {
      {"list", "x.tvk/"},
      {"info", "x.tvk/"},
      {"test", "x.tvk/"},
      {"extract", "x.tvk/"},
      {"delete", "x.tvk/", "Data\\a.txt"},
      {"add", "x.tvk/", "Data"},
  };
  for (const auto& args : commands) {
    SCOPED_TRACE(args.front());
    const ProcessResult r = Tvk(args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err, "");
  }
  EXPECT_EQ(ReadFile(dir_ / "x.tvk"), before);
  EXPECT_EQ(Tree(dir_.path()),
            (Names{"Data", "Data/a.txt", "Data/sub", "Data/sub/b.txt", "x.tvk"}));
}

}  // namespace
}  // namespace tovask::testing
