// Ctrl-C inside one large entry: tvk stops between its pieces, not after the whole entry. The
// large entry is the last one, so no later progress report could stop the run in its place.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace tovask::testing {
namespace {

TEST(InterruptTest, CtrlCInsideALargeEntryStopsExtractAndTest) {
  TempDir dir;
  ProcessOptions options;
  options.workingDirectory = dir.path();
  // 1 GiB of zeros, sparse on disk: quick to store, and long to write out again.
  WriteFile(dir / "small.txt", "small");
  WriteFile(dir / "large.bin", "");
  ASSERT_EQ(::truncate((dir / "large.bin").c_str(), off_t{1} << 30), 0);
  const ProcessResult created = RunTvk({"create", "a.tvk", "small.txt", "large.bin"}, options);
  ASSERT_EQ(created.exitCode, 0) << created.err;
  std::filesystem::create_directories(dir / "out");

  options.stderrIsTerminal = true;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"extract", "a.tvk", "-o", "out"},
        std::vector<std::string>{"test", "a.tvk"}}) {
    SCOPED_TRACE(args[0]);
    ChildProcess child(TvkPath(), args, options);
    ASSERT_TRUE(child.WaitForStderr("正在解压缩: large.bin")) << child.err();
    child.Signal(SIGINT);
    const ProcessResult r = child.Finish();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.ends_with("107:操作被中断！\n")) << r.err;
  }
  // Neither the large file nor its temporary file is left.
  EXPECT_EQ(platform::ListFolder(dir / "out").value_or(std::vector<std::string>{"?"}),
            std::vector<std::string>{"small.txt"});
}

}  // namespace
}  // namespace tovask::testing
