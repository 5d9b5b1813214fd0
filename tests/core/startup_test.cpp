#include "core/startup.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/app_context.h"
#include "core/messages.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace tovask {
namespace {

using testing::TempDir;

const std::string kDefaultSha256 =
    "246ed0cf5e2da9a1692dba10dc2bddc0395f1840481fb692068d53a271bcd884";

using tovask::testing::Sha256OfFile;

bool Exists(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

// Each test gets a program directory and a configuration home of its own; the configuration
// home starts out missing, two levels deep, so that StartUp has to create its parents. The
// environment and the fault hook are restored afterwards.
class StartUpTest : public ::testing::Test {
 protected:
  StartUpTest() {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) oldConfigHome_ = old;
    setenv("XDG_CONFIG_HOME", (dir_ / "home/.config").c_str(), 1);
    testing::WriteFile(dir_ / "prog/placeholder", "");
  }
  ~StartUpTest() override {
    platform::SetFaultHook(nullptr);
    if (oldConfigHome_) {
      setenv("XDG_CONFIG_HOME", oldConfigHome_->c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
  }

  std::string ProgramDir() const { return dir_ / "prog"; }
  std::string ProgramFile() const { return dir_ / "prog/DAZezo.ini"; }
  std::string ConfigFile() const { return dir_ / "home/.config/tovask/DAZezo.ini"; }

  // Makes every write into folder fail as a read-only folder would (also the write of a
  // temporary file that would be renamed into place).
  static void FailWritesIn(const std::string& folder) {
    platform::SetFaultHook([prefix = folder + "/"](platform::FileOp op, const std::string& path) {
      return op == platform::FileOp::Write && path.rfind(prefix, 0) == 0 ? EACCES : 0;
    });
  }

  TempDir dir_;
  std::optional<std::string> oldConfigHome_;
};

TEST_F(StartUpTest, FillsConstantsAndOneTrailingSeparator) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {ProgramDir(), ProgramDir() + "/"},
      {ProgramDir() + "/", ProgramDir() + "/"},
  };
  for (const auto& [given, expected] : cases) {
    AppContext context;
    StartUp(context, given);
    EXPECT_EQ(context.runDirectory, expected) << given;
    EXPECT_EQ(context.archiveMagic, "RID");
    EXPECT_EQ(context.formatVersion, "1.05");
    EXPECT_EQ(context.currentArchivePath, "");
  }
}

TEST_F(StartUpTest, WritesExactlyTheDefaultFileWhenMissing) {
  AppContext context;
  StartUp(context, ProgramDir());
  const std::string written = testing::ReadFile(ProgramFile());
  EXPECT_EQ(written.size(), 1414u);
  EXPECT_EQ(written, ToText(DefaultMessageFile()));
  EXPECT_EQ(Sha256OfFile(ProgramFile()), kDefaultSha256);
  EXPECT_FALSE(Exists(ConfigFile())) << "the program directory was writable";
  EXPECT_EQ(MessageFilePath(context), ProgramFile());
  ErrorText(context, ErrorCode::NotArchive, {"a.tvk", context.archiveMagic});
  EXPECT_EQ(CurrentErrorLog(context), "51:a.tvk 不是一个有效的RID压缩包，不能读取！");
}

TEST_F(StartUpTest, ExistingFileSurvivesRestartByteForByte) {
  // Edited content, an empty file and a file that is no message file at all are all the
  // user's: none is read, checked or replaced.
  const std::vector<std::string> contents = {"[Error]\r\n51=\xD0\xC2\xB5\xC4 %1%\r\n", "",
                                             std::string("\x00\xFF garbage", 10)};
  for (const std::string& content : contents) {
    testing::WriteFile(ProgramFile(), content);
    for (int start = 0; start < 2; ++start) {
      AppContext context;
      StartUp(context, ProgramDir());
    }
    EXPECT_EQ(testing::ReadFile(ProgramFile()), content);
    EXPECT_FALSE(Exists(ConfigFile()));
  }
}

TEST_F(StartUpTest, FallsBackToTheConfigFolderWhenProgramDirectoryIsNotWritable) {
  FailWritesIn(ProgramDir());
  AppContext context;
  StartUp(context, ProgramDir());
  EXPECT_FALSE(Exists(ProgramFile())) << "a cut-off file must not stay behind";
  EXPECT_EQ(platform::ListFolder(ProgramDir()), std::vector<std::string>{"placeholder"});
  EXPECT_EQ(testing::ReadFile(ConfigFile()), ToText(DefaultMessageFile()));
  EXPECT_EQ(Sha256OfFile(ConfigFile()), kDefaultSha256);
  EXPECT_EQ(MessageFilePath(context), ConfigFile());
  EXPECT_EQ(TitleText(context, TitleCode::Compressing, {"a.txt"}), "正在压缩: a.txt [%2%]");

  // Next start, program directory writable again: the configuration folder's file exists,
  // so nothing is written and it stays in use.
  platform::SetFaultHook(nullptr);
  AppContext restarted;
  StartUp(restarted, ProgramDir());
  EXPECT_FALSE(Exists(ProgramFile()));
  EXPECT_EQ(MessageFilePath(restarted), ConfigFile());
}

TEST_F(StartUpTest, BothWritesFailingIsSilentAndLookupsFallBack) {
  platform::SetFaultHook([](platform::FileOp op, const std::string&) {
    return op == platform::FileOp::Write ? ENOSPC : 0;
  });
  AppContext context;
  StartUp(context, ProgramDir());
  EXPECT_EQ(context.runDirectory, ProgramDir() + "/");
  EXPECT_FALSE(Exists(ProgramFile()));
  EXPECT_FALSE(Exists(ConfigFile()));
  ErrorText(context, ErrorCode::WriteData);
  EXPECT_EQ(CurrentErrorLog(context), "20:未知的错误类型");
  EXPECT_EQ(TitleText(context, TitleCode::CompressionDone), "未知的提示类型");
}

TEST_F(StartUpTest, ProgramDirectoryWinsWhenBothExist) {
  testing::WriteFile(ProgramFile(), "[Title]\r\n1=program\r\n");
  testing::WriteFile(ConfigFile(), "[Title]\r\n1=config\r\n");
  AppContext context;
  StartUp(context, ProgramDir());
  EXPECT_EQ(MessageFilePath(context), ProgramFile());
  EXPECT_EQ(TitleText(context, TitleCode{1}), "program");
  EXPECT_EQ(testing::ReadFile(ConfigFile()), "[Title]\r\n1=config\r\n");

  // Removing the program directory's file mid-run switches to the other one at once.
  ASSERT_EQ(std::remove(ProgramFile().c_str()), 0);
  EXPECT_EQ(TitleText(context, TitleCode{1}), "config");
}

TEST(ApplyCommandLineTest, OnlyANonEmptyFirstArgumentOpensAnArchive) {
  struct Case {
    std::vector<std::string> args;
    std::string expectedPath;
  };
  const std::vector<Case> cases = {
      {{}, ""},
      {{""}, ""},
      {{"", "/b.tvk"}, ""},
      {{"/a.tvk", "/b.tvk"}, "/a.tvk"},
      // Taken as given: no unquoting, no check that the file exists.
      {{"/no such/\"x\".tvk"}, "/no such/\"x\".tvk"},
  };
  for (const Case& c : cases) {
    AppContext context;
    context.currentArchivePath = "/previous.tvk";
    ApplyCommandLine(context, c.args);
    EXPECT_EQ(context.currentArchivePath, c.expectedPath) << c.args.size() << " arguments";
    EXPECT_EQ(context.commandLineArgs, c.args);
  }
}

}  // namespace
}  // namespace tovask
