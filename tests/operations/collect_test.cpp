#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/app_context.h"
#include "core/display_text.h"
#include "core/startup.h"
#include "operations/collect_test_helpers.h"
#include "operations/source_collection.h"
#include "platform/file_handle.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace tovask {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using testing::HookGuard;
using ::testing::IsEmpty;
using testing::LoggedCodes;
using testing::RecordingSink;
using testing::TempDir;
using testing::WriteFile;

class CollectTest : public ::testing::Test {
 protected:
  void SetUp() override { StartUp(context_, runDir_.path()); }

  // Collects and expects success; returns the relative names.
  std::vector<std::string> Names(const std::vector<std::string>& sources) {
    SourceSet set;
    EXPECT_TRUE(CollectSources(context_, sources, set)) << context_.errorLog;
    EXPECT_EQ(set.count, static_cast<int>(set.fullPaths.size()));
    EXPECT_EQ(set.fullPaths.size(), set.relativeNames.size());
    return set.relativeNames;
  }

  // Collects and expects failure with exactly these codes and an empty set.
  void ExpectFailure(const std::vector<std::string>& sources, const std::vector<int>& codes,
                     ProgressSink* events = nullptr) {
    SourceSet set;
    set.relativeNames = {"stale"};
    set.fullPaths = {"/stale"};
    set.count = 1;
    EXPECT_FALSE(CollectSources(context_, sources, set, events));
    EXPECT_EQ(LoggedCodes(context_), codes) << context_.errorLog;
    EXPECT_THAT(set.fullPaths, IsEmpty());
    EXPECT_THAT(set.relativeNames, IsEmpty());
    EXPECT_EQ(set.count, 0);
  }

  std::string Make(const std::string& relative, const std::string& content = "x") {
    const std::string path = tmp_ / relative;
    WriteFile(path, content);
    return path;
  }
  std::string MakeFolder(const std::string& relative) {
    const std::string path = tmp_ / relative;
    fs::create_directories(path);
    return path;
  }

  TempDir runDir_;
  TempDir tmp_;
  AppContext context_;
};

TEST_F(CollectTest, FolderFileAndTrailingSeparatorNaming) {
  const std::string a = Make("Data/a.txt");
  const std::string b = Make("Data/sub/b.txt");
  struct Case {
    std::string source;
    std::vector<std::string> names;
    std::vector<std::string> paths;
  };
  const std::vector<Case> cases = {
      {tmp_ / "Data", {"Data\\a.txt", "Data\\sub\\b.txt"}, {a, b}},
      {tmp_ / "Data/", {"a.txt", "sub\\b.txt"}, {a, b}},
      {tmp_ / "Data/sub", {"sub\\b.txt"}, {b}},
      {a, {"a.txt"}, {a}},
      // Sources that are not lexically normal are normalised first: never a "." or an empty
      // first level. Only a closing separator means "inside".
      {tmp_ / "Data//", {"a.txt", "sub\\b.txt"}, {a, b}},
      {tmp_ / "Data/./", {"a.txt", "sub\\b.txt"}, {a, b}},
      {tmp_ / "Data/sub/../", {"a.txt", "sub\\b.txt"}, {a, b}},
      {tmp_ / "Data/.", {"Data\\a.txt", "Data\\sub\\b.txt"}, {a, b}},
      {tmp_ / "Data/sub/..", {"Data\\a.txt", "Data\\sub\\b.txt"}, {a, b}},
      {tmp_ / "Data//sub", {"sub\\b.txt"}, {b}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    SourceSet set;
    ASSERT_TRUE(CollectSources(context_, {c.source}, set)) << context_.errorLog;
    EXPECT_EQ(set.relativeNames, c.names);
    EXPECT_EQ(set.fullPaths, c.paths);
    EXPECT_EQ(set.count, static_cast<int>(c.names.size()));
  }
}

// The root as a source gives names that start inside it, with no empty first level and no
// leading "\". The real root is far too large to walk, so a child process collects with the
// test folder as its root (chroot; skipped where the process may not change its root).
TEST_F(CollectTest, RootSourceGivesNamesInsideTheRoot) {
  Make("a.txt");
  Make("sub/b.txt");
  Make(".hidden/c.txt");
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t child = ::fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    ::close(pipeFds[0]);
    std::string report;
    if (::chroot(tmp_.path().c_str()) != 0 || ::chdir("/") != 0) {
      report = "cannot chroot";
    } else {
      for (const char* root : {"/", "//", "/.", "/.."}) {
        SourceSet set;
        report += root;
        report += CollectSources(context_, {root}, set) ? ":" : ": failed";
        for (const std::string& name : set.relativeNames) report += " " + name;
        report += "\n";
      }
    }
    const bool written =
        ::write(pipeFds[1], report.data(), report.size()) == static_cast<ssize_t>(report.size());
    ::_exit(written ? 0 : 1);  // no destructors: the parent owns the test folder
  }
  ::close(pipeFds[1]);
  std::string report;
  char buffer[256];
  for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, n);
  ::close(pipeFds[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  if (report == "cannot chroot") GTEST_SKIP() << "this process may not change its root";
  EXPECT_EQ(report,
            "/: a.txt sub\\b.txt\n"
            "//: a.txt sub\\b.txt\n"
            "/.: a.txt sub\\b.txt\n"
            "/..: a.txt sub\\b.txt\n");
}

TEST_F(CollectTest, DotFoldersSkippedDotFilesKept) {
  Make("Data/.cache/inner.txt");
  Make("Data/.cache/deeper/x.txt");
  Make("Data/.profile");
  Make("Data/sub/.hidden/y.txt");
  Make("Data/sub/.rc");
  EXPECT_EQ(Names({tmp_ / "Data"}), (std::vector<std::string>{"Data\\.profile", "Data\\sub\\.rc"}));
}

TEST_F(CollectTest, WalkOrderIsFilesFirstThenSubfoldersSortedBytewise) {
  // Created in a shuffled order so the listing order of the file system cannot line up with
  // the expected order by chance. "\xC3\xA9" (e-acute) sorts after every ASCII name.
  std::vector<std::string> files = {"T/b.txt", "T/a.txt",        "T/B.txt",        "T/_x",
                                    "T/z/1",   "T/m/2",          "T/m/k/3",        "T/m/1",
                                    "T/A/q",   "T/\xC3\xA9.txt", "T/m/\xC3\xA9/4", "T/a b"};
  std::shuffle(files.begin(), files.end(), std::mt19937(12345));
  for (const std::string& f : files) Make(f);
  EXPECT_EQ(Names({tmp_ / "T/"}), (std::vector<std::string>{"B.txt", "_x", "a b", "a.txt", "b.txt",
                                                            "\xC3\xA9.txt", "A\\q", "m\\1", "m\\2",
                                                            "m\\k\\3", "m\\\xC3\xA9\\4", "z\\1"}));
}

TEST_F(CollectTest, SourcesKeepTheirOrderAndDuplicatesStay) {
  const std::string x1 = Make("one/x.txt", "1");
  const std::string x2 = Make("two/x.txt", "2");
  Make("F/x.txt");
  SourceSet set;
  ASSERT_TRUE(CollectSources(context_, {x2, tmp_ / "F/", x1}, set));
  EXPECT_THAT(set.relativeNames, ElementsAre("x.txt", "x.txt", "x.txt"));
  EXPECT_EQ(set.fullPaths, (std::vector<std::string>{x2, tmp_ / "F/x.txt", x1}));
}

TEST_F(CollectTest, EmptyFoldersYieldNothing) {
  MakeFolder("E/a/b");
  MakeFolder("E/c");
  MakeFolder("G");
  SourceSet set;
  ASSERT_TRUE(CollectSources(context_, {tmp_ / "E", tmp_ / "G/"}, set));
  EXPECT_EQ(set.count, 0);
  EXPECT_THAT(set.fullPaths, IsEmpty());
  EXPECT_TRUE(context_.errorLog.empty());
}

TEST_F(CollectTest, EachRealFolderIsWalkedOnce) {
  Make("Data/a.txt");
  Make("Data/sub/b.txt");
  fs::create_directory_symlink("..", tmp_ / "Data/sub/loop");  // back to Data
  fs::create_directory_symlink(".", tmp_ / "Data/self");
  Make("Other/o.txt");
  fs::create_directory_symlink(tmp_ / "Other", tmp_ / "Data/zlink");  // outside: walked
  EXPECT_EQ(Names({tmp_ / "Data"}),
            (std::vector<std::string>{"Data\\a.txt", "Data\\sub\\b.txt", "Data\\zlink\\o.txt"}));

  // A folder reached by a link before its own name comes is walked under the link's name,
  // and only there.
  fs::create_directory_symlink("sub", tmp_ / "Data/alias");
  EXPECT_EQ(Names({tmp_ / "Data/"}),
            (std::vector<std::string>{"a.txt", "alias\\b.txt", "zlink\\o.txt"}));
}

TEST_F(CollectTest, OnlyRegularFilesAndLinksToThemAreCollected) {
  const std::string target = Make("elsewhere/t.txt");
  Make("D/plain.txt");
  ASSERT_EQ(::mkfifo((tmp_ / "D/pipe").c_str(), 0600), 0);
  fs::create_symlink(target, tmp_ / "D/link.txt");
  fs::create_symlink(tmp_ / "missing", tmp_ / "D/dangling");
  EXPECT_EQ(Names({tmp_ / "D"}), (std::vector<std::string>{"D\\link.txt", "D\\plain.txt"}));

  // Given directly, a FIFO adds nothing (reading it would wait forever); a link to a file is
  // named by the link.
  EXPECT_EQ(Names({tmp_ / "D/pipe", tmp_ / "D/link.txt"}), (std::vector<std::string>{"link.txt"}));
}

TEST_F(CollectTest, MissingOrRelativeSourceCollectsNothing) {
  const std::string good = Make("good.txt");
  ExpectFailure({good, tmp_ / "nothing-here"}, {101});
  EXPECT_NE(context_.errorLog.find(tmp_ / "nothing-here"), std::string::npos);

  ClearErrorLog(context_);
  ExpectFailure({good, "relative/file.txt"}, {100});
  EXPECT_NE(context_.errorLog.find("relative/file.txt"), std::string::npos);

  // A dangling link given as a source is as missing as a missing file.
  ClearErrorLog(context_);
  fs::create_symlink(tmp_ / "gone", tmp_ / "dangling");
  ExpectFailure({tmp_ / "dangling"}, {101});
}

TEST_F(CollectTest, NamesAnEntryCannotHoldAreRefusedByFullPath) {
  struct Case {
    const char* what;
    std::string relative;  // below the source folder S
    bool trailingSeparator;
  };
  const std::vector<Case> cases = {
      {"backslash", "back\\slash.txt", false},
      {"question mark", "what?.txt", false},
      {"control character", std::string("ctl\x01.txt"), false},
      {"tab", "tab\there.txt", false},
      {"invalid UTF-8", "bad\xFF\xFE.txt", false},
      {"truncated UTF-8", "cut\xC3.txt", false},
      {"backslash in a folder level", "dir\\x/f.txt", false},
      {"drive-like start", "C:x.txt", true},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string folder = tmp_ / std::string("S").append(std::to_string(n++));
    WriteFile(folder + "/fine.txt", "ok");
    const std::string bad = folder + "/" + c.relative;
    WriteFile(bad, "x");
    ASSERT_TRUE(fs::exists(bad));
    ClearErrorLog(context_);
    ExpectFailure({c.trailingSeparator ? folder + "/" : folder}, {103});
    // The message names the file, its control characters and stray bytes escaped.
    EXPECT_NE(context_.errorLog.find(EscapeControlCharacters(bad)), std::string::npos)
        << context_.errorLog;
  }
  // A file source with such a name is refused too; every bad file gets its own message.
  ClearErrorLog(context_);
  const std::string q = Make("q?.txt");
  const std::string ctl = Make(std::string("c\x7F.txt"));
  ExpectFailure({q, Make("fine.txt"), ctl}, {103, 103});
}

TEST_F(CollectTest, DriveLikeFolderLevelsBelowTheFirstAreFine) {
  Make("R/C:x/f.txt");
  EXPECT_EQ(Names({tmp_ / "R"}), (std::vector<std::string>{"R\\C:x\\f.txt"}));
}

TEST_F(CollectTest, UnreadableFolderFailsNamingIt) {
  Make("Data/a.txt");
  Make("Data/sub/b.txt");
  const std::string sub = tmp_ / "Data/sub";
  HookGuard guard([&](platform::FileOp op, const std::string& path) {
    const bool hit = op == platform::FileOp::ReadFolder && (path == sub || path == sub + "/");
    return hit ? EACCES : 0;
  });
  ExpectFailure({tmp_ / "Data"}, {102});
  EXPECT_NE(context_.errorLog.find(sub), std::string::npos) << context_.errorLog;
}

TEST_F(CollectTest, UnreadableFolderByPermission) {
  if (testing::RunningAsRoot())
    GTEST_SKIP() << "root reads every folder; the fault hook test covers 102";
  Make("Data/sub/b.txt");
  ASSERT_EQ(::chmod((tmp_ / "Data/sub").c_str(), 0), 0);
  ExpectFailure({tmp_ / "Data"}, {102});
  ::chmod((tmp_ / "Data/sub").c_str(), 0700);
}

TEST_F(CollectTest, ProcessEventsOncePerWalkedFolderAndInterrupt) {
  Make("Data/a.txt");
  Make("Data/s1/b.txt");
  Make("Data/s1/s2/c.txt");
  Make("Data/.skip/d.txt");
  fs::create_directory_symlink("..", tmp_ / "Data/s1/back");
  {
    RecordingSink events;
    SourceSet set;
    ASSERT_TRUE(CollectSources(context_, {tmp_ / "Data", Make("f.txt")}, set, &events));
    EXPECT_EQ(events.eventCalls(), 3);  // Data, s1, s2
    EXPECT_THAT(events.records(), IsEmpty());
    EXPECT_EQ(set.count, 4);
  }
  for (int n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    ClearErrorLog(context_);
    RecordingSink events;
    events.InterruptAtEvents(n);
    ExpectFailure({tmp_ / "Data"}, {107}, &events);
    EXPECT_EQ(events.eventCalls(), n);  // stopped at that call
  }
}

}  // namespace
}  // namespace tovask
