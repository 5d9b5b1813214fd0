#include "app/temporary_copies.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/messages.h"
#include "core/startup.h"
#include "platform/scoped_env.h"
#include "platform/temporary_folders.h"
#include "support/archive_fixture.h"
#include "support/fault_plan.h"
#include "support/temp_dir.h"

namespace tovask::testing {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class TemporaryCopiesTest : public ::testing::Test {
 protected:
  TemporaryCopiesTest() { StartUp(context, home.path()); }
  TempDir home;
  TempDir tmp;
  AppContext context;
};

// Each open or drag gets its own new 0700 folder inside one 0700 folder of the run; the
// owner's end removes it all, read-only files and locked-up folders included, without
// following a link out of it.
TEST_F(TemporaryCopiesTest, FreshPrivateFoldersRemovedWithTheOwner) {
  const std::string outside = tmp / "outside.txt";
  WriteFile(outside, "keep me");
  std::string root;
  {
    TemporaryCopies copies(tmp.path());
    EXPECT_EQ(copies.path(), "");
    const std::optional<std::string> first = copies.NewFolder(context);
    const std::optional<std::string> second = copies.NewFolder(context);
    ASSERT_TRUE(first && second);
    root = copies.path();
    EXPECT_EQ(fs::path(root).parent_path(), fs::path(tmp.path()));
    EXPECT_EQ(fs::path(root).filename().string().rfind("tovask-", 0), 0u);
    EXPECT_EQ(*first, root + "/1");
    EXPECT_EQ(*second, root + "/2");
    for (const std::string& folder : {root, *first, *second}) EXPECT_EQ(FileMode(folder), 0700u);
    EXPECT_TRUE(fs::is_empty(*second));

    WriteFile(*first + "/docs/a.txt", "a");
    ASSERT_TRUE(platform::SetReadOnly(*first + "/docs/a.txt", true));
    fs::create_symlink(outside, *first + "/link");
    fs::create_directory_symlink(tmp.path(), *second + "/up");
    ::chmod((*first + "/docs").c_str(), 0500);
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(root)));
  EXPECT_EQ(ReadFile(outside), "keep me");
}

// A run folder removed by someone else (a cleaner of /tmp) is made again; a folder that
// cannot be made is error 35 naming it, in a fresh error log.
TEST_F(TemporaryCopiesTest, RemadeWhenGoneAndFailureIsMessage35) {
  TemporaryCopies copies(tmp.path());
  ASSERT_TRUE(copies.NewFolder(context));
  const std::string first = copies.path();
  ASSERT_TRUE(platform::RemoveTree(first));
  const std::optional<std::string> again = copies.NewFolder(context);
  ASSERT_TRUE(again);
  EXPECT_NE(copies.path(), first);
  EXPECT_TRUE(fs::is_directory(*again));

  ErrorText(context, ErrorCode::WriteFile, {"old"});
  {
    FaultPlan::Options always;
    always.persistent = true;
    FaultPlan plan(platform::FileOp::CreateFolder, 1, always);
    EXPECT_FALSE(copies.NewFolder(context));
  }
  EXPECT_EQ(LoggedCodes(context), std::vector<int>{35});
  EXPECT_NE(context.errorLog.find(copies.path()), std::string::npos);

  TemporaryCopies none(tmp / "missing");
  EXPECT_FALSE(none.NewFolder(context));
  EXPECT_EQ(LoggedCodes(context), std::vector<int>{35});
  EXPECT_EQ(none.path(), "");
}

TEST(TemporaryFilesFolderTest, TmpdirWhenAbsoluteAndThere) {
  TempDir there;
  const struct {
    std::optional<std::string> tmpdir;
    std::string expected;
  } cases[] = {{there.path(), there.path()},
               {there.path() + "/", there.path()},
               {std::nullopt, "/tmp"},
               {"relative", "/tmp"},
               {there / "missing", "/tmp"}};
  for (const auto& c : cases) {
    platform::ScopedEnv env("TMPDIR", c.tmpdir);
    EXPECT_EQ(platform::TemporaryFilesFolder(), c.expected) << c.tmpdir.value_or("(unset)");
  }
}

// A drag offers each first level once, in the order met, and nothing that is not there.
TEST(DraggedPathsTest, FirstLevelsOnce) {
  TempDir dir;
  for (const char* file : {"a.txt", "docs/x.txt", "docs/sub/y.txt", "src/b.c"})
    WriteFile(dir / file, "x");
  const struct {
    Names names;
    Names expected;
  } cases[] = {
      {{"a.txt"}, {"a.txt"}},
      {{"docs\\x.txt", "docs\\sub\\y.txt"}, {"docs"}},
      {{"src\\b.c", "a.txt", "docs\\x.txt", "src\\b.c"}, {"src", "a.txt", "docs"}},
      {{"gone.txt", "a.txt", "gone\\b.txt"}, {"a.txt"}},
  };
  for (const auto& c : cases) {
    Names expected;
    for (const std::string& name : c.expected) expected.push_back(dir / name);
    EXPECT_EQ(DraggedPaths(dir.path(), c.names), expected);
  }
}

TEST(OpenableCopyTest, ReadOnlyFileOrNothing) {
  TempDir dir;
  WriteFile(dir / "docs/a.txt", "a");
  const std::optional<std::string> copy = OpenableCopy(dir.path(), "docs\\a.txt");
  ASSERT_TRUE(copy);
  EXPECT_EQ(*copy, dir / "docs/a.txt");
  EXPECT_EQ(FileMode(*copy) & 0222u, 0u);
  EXPECT_FALSE(OpenableCopy(dir.path(), "docs"));
  EXPECT_FALSE(OpenableCopy(dir.path(), "missing.txt"));
}

}  // namespace
}  // namespace tovask::testing
