// tvk processes racing on one archive, and tvk stopped by signals. The tests act at real
// points of a run: tvk draws its progress on a terminal (stderr is a pseudo-terminal here) and a
// test waits for a progress text before it pauses, signals or kills the process. While the test
// does not read that terminal, a writer far from its end blocks on its next progress line, so
// the point it stands at cannot slip past the end of the run.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "archive/format.h"
#include "archive/reader.h"
#include "archive/writer.h"
#include "core/app_context.h"
#include "core/startup.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace tovask::testing {
namespace {

using Names = std::vector<std::string>;

// Enough entries that a writer has a thousand progress reports still to come at every trigger
// below: more than twice what a terminal buffers (about 17 KB, some 370 lines), so it cannot
// finish while nobody reads.
constexpr int kEntries = 1000;

constexpr const char* kCompressing = "正在压缩: ";
constexpr const char* kLoading = "正在读取数据...[";
constexpr const char* kPreparing = "正在准备写出数据...[";
constexpr const char* kWriting = "正在写出数据...[";  // the temporary file exists from here on

class ConcurrentWritersTest : public ::testing::Test {
 protected:
  ConcurrentWritersTest() {
    std::filesystem::create_directories(dir_ / "prog");
    StartUp(context_, dir_ / "prog");
  }

  std::string Archive() const { return dir_ / "a.tvk"; }

  // a.tvk with entries e0 .. e{kEntries-1}, built through the engine.
  void MakeArchive() {
    ArchiveIndex index;
    for (int i = 0; i < kEntries; ++i) {
      auto encoded = EncodeDataBlock(context_.dataOps, AsBytes("entry " + std::to_string(i)), "");
      ASSERT_TRUE(encoded.has_value());
      ArchiveEntry entry;
      entry.path = "e" + std::to_string(i);
      entry.originalSize = static_cast<std::int32_t>(6 + std::to_string(i).size());
      entry.flags = EntryFlags::Archive | encoded->transformFlags;
      entry.md5Text = encoded->md5Text;
      entry.storedSize = static_cast<std::int32_t>(encoded->block.size());
      index.Append(entry);
      index.storedBlocks.push_back(std::move(encoded->block));
    }
    index.count = kEntries;
    ClearErrorLog(context_);
    ASSERT_TRUE(WriteArchive(context_, index, Archive())) << context_.errorLog;
  }

  std::set<std::string> Entries() {
    ArchiveIndex index;
    ClearErrorLog(context_);
    EXPECT_TRUE(LoadArchiveIndex(context_, index, Archive())) << context_.errorLog;
    return {index.paths.begin(), index.paths.end()};
  }

  // Names in the test folder other than the program folder and the sources.
  Names FolderNames() const {
    Names names;
    for (const auto& name : platform::ListFolder(dir_.path()).value_or(Names{})) {
      if (name != "prog" && name != "newA" && name != "newB") names.push_back(name);
    }
    return names;
  }

  ProcessOptions Options(bool terminal) const {
    ProcessOptions options;
    options.workingDirectory = dir_.path();
    options.env = {{"TZ", "UTC"}};
    options.stderrIsTerminal = terminal;
    return options;
  }

  // What tvk printed after its last progress line (the terminal's line clearing).
  static std::string Messages(const std::string& err) {
    const std::size_t clear = err.rfind("\r\033[K");
    return clear == std::string::npos ? err : err.substr(clear + 4);
  }

  std::string BusyMessages() const {
    const std::string upper = platform::AsciiUpper(Archive());
    return "2:读取文件 " + upper + " 失败！\n112:压缩包 " + upper +
           " 正被其他程序使用，请稍后再试。\n";
  }

  TempDir dir_;
  AppContext context_;
};

struct Second {
  const char* label;
  Names args;
};

// A writer adding three files is paused at each point of its run while a second tvk works on
// the same archive. Whatever the second one does must either be refused as busy or be in the
// final archive, and the first one's files are always there: no change reported done is lost.
TEST_F(ConcurrentWritersTest, AChangeReportedDoneIsNeverLost) {
  for (const std::string name : {"n0", "n1", "n2"}) WriteFile(dir_ / ("newA/" + name), name);
  WriteFile(dir_ / "newB/b", "b");
  struct Trigger {
    const char* text;
    bool holding;  // the first writer holds the archive from this point to its end
  };
  const std::vector<Trigger> triggers = {
      {kCompressing, false}, {kLoading, true}, {kPreparing, true}, {kWriting, true}};
  const std::vector<Second> seconds = {{"add", {"add", "a.tvk", "newB"}},
                                       {"delete", {"delete", "a.tvk", "e7"}},
                                       {"list", {"list", "a.tvk"}}};
  int refused = 0, done = 0;
  for (const Trigger& trigger : triggers) {
    for (const Second& second : seconds) {
      SCOPED_TRACE(std::string(trigger.text) + " / " + second.label);
      MakeArchive();
      std::set<std::string> expected = Entries();
      ChildProcess first(TvkPath(), {"add", "a.tvk", "newA"}, Options(true));
      ASSERT_TRUE(first.WaitForStderr(trigger.text)) << first.err();
      first.Signal(SIGSTOP);
      const ProcessResult other = RunTvk(second.args, Options(false));
      first.Signal(SIGCONT);
      const ProcessResult firstResult = first.Finish();

      EXPECT_EQ(firstResult.exitCode, 0) << Messages(firstResult.err);
      EXPECT_EQ(Messages(firstResult.err), "");
      expected.insert({"newA\\n0", "newA\\n1", "newA\\n2"});
      if (other.exitCode == 0) {
        ++done;
        EXPECT_FALSE(trigger.holding) << "the second tvk got past the first one's hold";
        if (second.label == std::string("add")) expected.insert("newB\\b");
        if (second.label == std::string("delete")) expected.erase("e7");
        if (second.label == std::string("list")) {  // the whole old archive
          EXPECT_EQ(std::count(other.out.begin(), other.out.end(), '\n'), kEntries + 1);
        }
      } else {
        ++refused;
        EXPECT_EQ(other.exitCode, 1);
        EXPECT_EQ(other.err, BusyMessages());
        EXPECT_EQ(other.out, "");
      }
      EXPECT_EQ(Entries(), expected);
      EXPECT_EQ(FolderNames(), Names{"a.tvk"});
    }
  }
  EXPECT_GE(refused, 9);  // every trial at a holding trigger
  std::cout << "[ trials ] " << done << " done, " << refused << " refused as busy\n";
}

// Two writers started together, with nothing to order them: any interleaving must keep every
// change that was reported done.
TEST_F(ConcurrentWritersTest, TwoFreeRunningWritersLoseNothing) {
  for (const std::string name : {"n0", "n1", "n2"}) WriteFile(dir_ / ("newA/" + name), name);
  WriteFile(dir_ / "newB/b", "b");
  int bothDone = 0;
  for (int trial = 0; trial < 6; ++trial) {
    SCOPED_TRACE(trial);
    MakeArchive();
    std::set<std::string> expected = Entries();
    ChildProcess a(TvkPath(), {"add", "a.tvk", "newA"}, Options(false));
    ChildProcess b(TvkPath(),
                   {trial % 2 == 0 ? "add" : "delete", "a.tvk", trial % 2 == 0 ? "newB" : "e7"},
                   Options(false));
    const ProcessResult ra = a.Finish();
    const ProcessResult rb = b.Finish();
    for (const ProcessResult* r : {&ra, &rb}) {
      if (r->exitCode != 0) {
        EXPECT_EQ(r->err, BusyMessages());
      }
    }
    if (ra.exitCode == 0) expected.insert({"newA\\n0", "newA\\n1", "newA\\n2"});
    if (rb.exitCode == 0) {
      if (trial % 2 == 0) {
        expected.insert("newB\\b");
      } else {
        expected.erase("e7");
      }
    }
    bothDone += ra.exitCode == 0 && rb.exitCode == 0;
    EXPECT_EQ(Entries(), expected);
    EXPECT_EQ(FolderNames(), Names{"a.tvk"});
  }
  std::cout << "[ trials ] both writers done in " << bothDone << " of 6\n";
}

// Ctrl-C, kill and a closed terminal while the new archive is being written: the old archive
// stays byte for byte, the temporary file goes, and tvk says it was interrupted.
TEST_F(ConcurrentWritersTest, SignalsStopAWriterAndLeaveTheArchiveAsItWas) {
  MakeArchive();
  const std::string before = ReadFile(Archive());
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    ChildProcess writer(TvkPath(), {"delete", "a.tvk", "e7"}, Options(true));
    ASSERT_TRUE(writer.WaitForStderr(kWriting)) << writer.err();
    writer.Signal(signal);
    const ProcessResult r = writer.Finish();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(Messages(r.err), "107:操作被中断！\n");
    EXPECT_EQ(ReadFile(Archive()), before);
    EXPECT_EQ(FolderNames(), Names{"a.tvk"});
  }
}

// A writer killed outright leaves its temporary file; the next change to the archive removes it.
TEST_F(ConcurrentWritersTest, LeftoverOfAKilledWriterGoesWithTheNextChange) {
  MakeArchive();
  const std::string before = ReadFile(Archive());
  {
    ChildProcess writer(TvkPath(), {"delete", "a.tvk", "e7"}, Options(true));
    ASSERT_TRUE(writer.WaitForStderr(kWriting)) << writer.err();
    writer.Signal(SIGKILL);
    EXPECT_EQ(writer.Finish().exitCode, 128 + SIGKILL);
  }
  EXPECT_EQ(ReadFile(Archive()), before);
  const Names left = FolderNames();
  ASSERT_EQ(left.size(), 2u);
  EXPECT_TRUE(left[0].starts_with(".a.tvk-")) << left[0];

  const ProcessResult r = RunTvk({"delete", "a.tvk", "e8"}, Options(false));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(FolderNames(), Names{"a.tvk"});
  EXPECT_EQ(RunTvk({"test", "a.tvk"}, Options(false)).exitCode, 0);
  EXPECT_EQ(Entries().size(), static_cast<std::size_t>(kEntries - 1));
}

}  // namespace
}  // namespace tovask::testing
