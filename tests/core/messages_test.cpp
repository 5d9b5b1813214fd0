#include "core/messages.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/app_context.h"
#include "core/message_codes.h"
#include "core/startup.h"
#include "support/fault_plan.h"
#include "support/temp_dir.h"

namespace tovask {
namespace {

using testing::TempDir;

// Points the user configuration folder into the test's own folder, so no file of the real
// account (or of another test) takes part, and restores the variable afterwards.
class ScopedConfigHome {
 public:
  explicit ScopedConfigHome(const std::string& path) {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) old_ = old;
    setenv("XDG_CONFIG_HOME", path.c_str(), 1);
  }
  ~ScopedConfigHome() {
    if (old_) {
      setenv("XDG_CONFIG_HOME", old_->c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
  }

 private:
  std::optional<std::string> old_;
};

using tovask::testing::Sha256OfFile;

class MessagesTest : public ::testing::Test {
 protected:
  MessagesTest() : config_(dir_ / "config") {
    context_.runDirectory = dir_.path() + "/";
    context_.archiveMagic = "RID";
    context_.formatVersion = "1.05";
  }

  std::string FilePath() const { return dir_ / std::string(kMessageFileName); }
  void WriteDefaultFile() const { testing::WriteFile(FilePath(), ToText(DefaultMessageFile())); }
  void WriteMessageFile(const std::string& content) const {
    testing::WriteFile(FilePath(), content);
  }
  // The log entry one ErrorText call produces on an empty log.
  std::string ErrorOf(ErrorCode code, const std::vector<std::string>& args = {}) {
    ClearErrorLog(context_);
    context_.stepOk = true;
    ErrorText(context_, code, args);
    EXPECT_FALSE(context_.stepOk) << "code " << CodeNumber(code);
    return CurrentErrorLog(context_);
  }  // Keys the program does not name: the catalogue looks up any number.
  std::string ErrorOf(int code, const std::vector<std::string>& args = {}) {
    return ErrorOf(ErrorCode{code}, args);
  }

  TempDir dir_;
  ScopedConfigHome config_;
  AppContext context_;
};

TEST(DefaultMessageFileTest, IsTheExactGbkBlock) {
  TempDir dir;
  const Bytes& bytes = DefaultMessageFile();
  ASSERT_EQ(bytes.size(), 1414u);
  const std::string text = ToText(bytes);
  EXPECT_EQ(text.rfind("[Error]\r\n", 0), 0u) << "no byte-order mark, [Error] first";
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");

  std::size_t lines = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n') continue;
    ASSERT_GT(i, 0u);
    EXPECT_EQ(text[i - 1], '\r') << "bare LF at " << i;
    ++lines;
  }
  EXPECT_EQ(lines, 46u);
  EXPECT_NE(text.find("\r\n[Title]\r\n0="), std::string::npos);

  const std::string path = dir / "default.ini";
  testing::WriteFile(path, text);
  EXPECT_EQ(Sha256OfFile(path), "246ed0cf5e2da9a1692dba10dc2bddc0395f1840481fb692068d53a271bcd884");
}

struct ErrorCase {
  int code;
  std::vector<std::string> args;
  std::string expected;
};

TEST_F(MessagesTest, ErrorTextWithTheDefaultFile) {
  WriteDefaultFile();
  const std::vector<ErrorCase> cases = {
      {51, {"a.tvk", "RID"}, "51:a.tvk 不是一个有效的RID压缩包，不能读取！"},
      // No text for 5: code 0's text under the requested code.
      {5, {}, "5:没有记录的错误。"},
      {0, {}, "0:没有记录的错误。"},
      {99,
       {"7"},
       "99:"
       "抱歉，内部逻辑错误，错误编号：7。\r\n请将错误编号和你的操作步骤告诉作者Ormel，谢谢你的合作"
       "。"},
      // A placeholder without its argument stays as it is.
      {1, {}, "1:打开文件 %1% 失败！"},
      {52, {"B.TVK"}, "52:B.TVK 是%2%版压缩包，而本程序只支持%3%版压缩包，读取中断！"},
      {33,
       {"x.tvk", "1.04", "1.05"},
       "33:x.tvk 是1.04版压缩包，而本程序只支持1.05版压缩包，解压中断！"},
      // Arguments past the fifth are ignored; surplus arguments change nothing.
      {41, {"f", "2", "3", "4", "5", "6"}, "41:写出文件 f 失败！"},
      // An argument is inserted literally: a path with "/n" in it is not broken into lines.
      {41, {"/home/me/new.txt"}, "41:写出文件 /home/me/new.txt 失败！"},
  };
  for (const ErrorCase& c : cases) {
    EXPECT_EQ(ErrorOf(c.code, c.args), c.expected) << "code " << c.code;
  }
}

TEST_F(MessagesTest, ErrorTextAppendsLinesInCallOrder) {
  WriteDefaultFile();
  context_.stepOk = true;
  ErrorText(context_, ErrorCode::WriteData);
  EXPECT_EQ(CurrentErrorLog(context_), "20:写出数据失败！") << "no leading line break";
  EXPECT_FALSE(context_.stepOk);
  ErrorText(context_, ErrorCode::RenameNotFound, {"A.TXT"});
  ErrorText(context_, ErrorCode::InternalLogic, {"3"});
  EXPECT_EQ(CurrentErrorLog(context_),
            "20:写出数据失败！\r\n72:文件 A.TXT 没有在压缩包中找到。\r\n"
            "99:抱歉，内部逻辑错误，错误编号：3。\r\n"
            "请将错误编号和你的操作步骤告诉作者Ormel，谢谢你的合作。");
}

TEST_F(MessagesTest, TitleTextWithTheDefaultFile) {
  WriteDefaultFile();
  context_.errorLog = "kept";
  context_.stepOk = true;
  struct TitleCase {
    int code;
    std::vector<std::string> args;
    std::string expected;
  };
  const std::vector<TitleCase> cases = {
      {12, {"a.txt"}, "正在压缩: a.txt [%2%]"},
      {12, {"a.txt", "40%"}, "正在压缩: a.txt [40%]"},
      {51, {}, "相对路径及文件名,原文件大小,压缩后大小,修改时间,加密,属性,MD5效验码"},
      {35, {"x"}, "输入密码"},
      {5, {}, "没有设置的提示。"},
  };
  for (const TitleCase& c : cases) {
    EXPECT_EQ(TitleText(context_, TitleCode{c.code}, c.args), c.expected) << "code " << c.code;
  }
  EXPECT_EQ(context_.errorLog, "kept");
  EXPECT_TRUE(context_.stepOk);
}

TEST_F(MessagesTest, TitleTextKeepsSlashNAndHasNoPrefix) {
  WriteMessageFile("[Title]\r\n7=a/nb %1%\r\n[Error]\r\n7=a/nb %1%\r\n");
  EXPECT_EQ(TitleText(context_, TitleCode{7}, {"/n"}), "a/nb /n");
  EXPECT_EQ(ErrorOf(7, {"/n"}), "7:a\r\nb /n");
}

TEST_F(MessagesTest, ArgumentsGoInWithControlCharactersEscaped) {
  // The message text's own "/n" and a tab in it are the message's; the arguments' are not.
  WriteMessageFile("[Error]\r\n7=%1%/n\t%2%\r\n[Title]\r\n7=<%1%>\r\n");
  const std::string hostile = "a.txt\t1\nFORGED\x1b[2J\xc2\x9b\xff";
  const std::string shown = "a.txt\\t1\\nFORGED\\x1b[2J\\u009b\\xff";
  EXPECT_EQ(ErrorOf(7, {hostile, "文件\\b"}), "7:" + shown + "\r\n\t文件\\b");
  EXPECT_EQ(TitleText(context_, TitleCode{7}, {hostile}), "<" + shown + ">");
  // Escaping leaves "%n%" alone, so an argument still takes part in later replacements.
  WriteMessageFile("[Error]\r\n8=%1%|%2%\r\n");
  EXPECT_EQ(ErrorOf(8, {"\n%2%", "B\r"}), "8:\\nB\\r|B\\r");
}

TEST_F(MessagesTest, DeletedFileGivesBuiltInFallbacks) {
  WriteDefaultFile();
  EXPECT_EQ(ErrorOf(20), "20:写出数据失败！");
  ASSERT_EQ(std::remove(FilePath().c_str()), 0);
  EXPECT_EQ(ErrorOf(51, {"a.tvk", "RID"}), "51:未知的错误类型");
  EXPECT_EQ(TitleText(context_, TitleCode::Compressing, {"a.txt"}), "未知的提示类型");
}

TEST_F(MessagesTest, EmptyValueCountsAsMissing) {
  WriteMessageFile("[Error]\r\n0=zero %1%\r\n7=\r\n[Title]\r\n0=\r\n7=\r\n");
  EXPECT_EQ(ErrorOf(7, {"x"}), "7:zero x");
  EXPECT_EQ(TitleText(context_, TitleCode{7}), "未知的提示类型")
      << "empty code 0 falls to the last resort";
  WriteMessageFile("[Error]\r\n0=\r\n");
  EXPECT_EQ(ErrorOf(7), "7:未知的错误类型");
}

TEST_F(MessagesTest, PlaceholderReplacementOrder) {
  WriteMessageFile("[Error]\r\n8=%1%|%2%\r\n9=%1%-%1%-%3%\r\n[Title]\r\n8=%1%|%2%\r\n");
  // An argument holding a later placeholder is filled in again by that later argument ...
  EXPECT_EQ(ErrorOf(8, {"%2%", "B"}), "8:B|B");
  EXPECT_EQ(TitleText(context_, TitleCode{8}, {"<%2%>", "B"}), "<B>|B");
  // ... but not by an earlier one, and an argument holding its own placeholder stays.
  EXPECT_EQ(ErrorOf(8, {"A", "%1%"}), "8:A|%1%");
  EXPECT_EQ(ErrorOf(9, {"x%1%", "", "z"}), "9:x%1%-x%1%-z");
  // An empty argument removes its placeholder.
  EXPECT_EQ(ErrorOf(8, {"", "b"}), "8:|b");
}

TEST_F(MessagesTest, ExtendedCodesUseTheirBuiltInText) {
  WriteDefaultFile();
  EXPECT_EQ(ErrorOf(ErrorCode::SourceMissing, {"/a/b"}), "101:源文件 /a/b 不存在！");
  EXPECT_EQ(ErrorOf(ErrorCode::Interrupted), "107:操作被中断！");
  // A code from 100 up without a built-in text is an ordinary unknown code.
  EXPECT_EQ(ErrorOf(199), "199:没有记录的错误。");
  // The file's own text wins over the built-in one, and an empty one does not.
  WriteMessageFile("[Error]\r\n0=zero\r\n101=own %1%\r\n107=\r\n");
  EXPECT_EQ(ErrorOf(ErrorCode::SourceMissing, {"x"}), "101:own x");
  EXPECT_EQ(ErrorOf(ErrorCode::Interrupted), "107:操作被中断！");
  // Without any file the built-in text still comes before the last resort.
  ASSERT_EQ(std::remove(FilePath().c_str()), 0);
  EXPECT_EQ(ErrorOf(ErrorCode::FileTooLarge, {"f"}), "104:文件 f 太大（2 GB 或以上），不能压缩！");
}

TEST_F(MessagesTest, EditedFileTakesEffectWithoutRestart) {
  WriteDefaultFile();
  EXPECT_EQ(ErrorOf(51, {"a", "RID"}), "51:a 不是一个有效的RID压缩包，不能读取！");
  // GBK bytes of "新的 %1%" and "测试".
  WriteMessageFile("[Error]\r\n51=\xD0\xC2\xB5\xC4 %1%\r\n[Title]\r\n51=\xB2\xE2\xCA\xD4\r\n");
  EXPECT_EQ(ErrorOf(51, {"a", "RID"}), "51:新的 a");
  EXPECT_EQ(TitleText(context_, TitleCode::ListColumnTitles), "测试");
}

TEST_F(MessagesTest, SameSizeEditRightAfterALookupTakesEffect) {
  // Same inode, same size, and often the same time stamp as the version read just before: the
  // parsed copy must not be trusted on the stamp alone.
  for (const char* value : {"aaaa", "bbbb", "cccc"}) {
    WriteMessageFile(std::string("[Error]\r\n7=").append(value).append("\r\n"));
    EXPECT_EQ(ErrorOf(7), std::string("7:").append(value));
  }
}

TEST_F(MessagesTest, UnchangedFileIsReadOnceAndChangesStillCount) {
  context_.messageFile = MessageFileCache({.settle = std::chrono::nanoseconds(0)});
  WriteDefaultFile();
  testing::FaultPlan opens(platform::FileOp::OpenRead, 0,
                           {.filter = testing::PathsUnder(dir_.path())});
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(TitleText(context_, TitleCode::ReadingData, {std::to_string(i)}),
              std::string("正在读取数据...[").append(std::to_string(i)).append("]"));
  }
  EXPECT_EQ(ErrorOf(20), "20:写出数据失败！");
  EXPECT_EQ(opens.calls(), 1) << "one read for all lookups of an unchanged file";

  WriteMessageFile("[Title]\r\n10=new %1%\r\n");
  EXPECT_EQ(TitleText(context_, TitleCode::ReadingData, {"x"}), "new x");
  EXPECT_EQ(ErrorOf(20), "20:未知的错误类型");
  EXPECT_EQ(opens.calls(), 2);

  ASSERT_EQ(std::remove(FilePath().c_str()), 0);
  EXPECT_EQ(TitleText(context_, TitleCode::ReadingData, {"x"}), "未知的提示类型");
  EXPECT_EQ(opens.calls(), 2) << "a missing file is not opened";
}

TEST_F(MessagesTest, QuietFileIsLookedAtOncePerRecheckInterval) {
  // Times stretched so that the test needs no waiting: any file counts as quiet at once, and
  // the next look is due after an hour.
  context_.messageFile = MessageFileCache({.settle = std::chrono::nanoseconds(0),
                                           .quiet = std::chrono::nanoseconds(0),
                                           .recheck = std::chrono::hours(1)});
  WriteDefaultFile();
  testing::FaultPlan opens(platform::FileOp::OpenRead, 0,
                           {.filter = testing::PathsUnder(dir_.path())});
  EXPECT_EQ(ErrorOf(20), "20:写出数据失败！");
  ASSERT_EQ(std::remove(FilePath().c_str()), 0);
  EXPECT_EQ(ErrorOf(20), "20:写出数据失败！") << "no look at the disk within the interval";
  EXPECT_EQ(opens.calls(), 1);
}

TEST_F(MessagesTest, Utf8FileWithByteOrderMarkIsReadAsUtf8) {
  WriteMessageFile("\xEF\xBB\xBF[Error]\r\n51=中文 %1%\r\n[Title]\r\n3=标题\r\n");
  EXPECT_EQ(ErrorOf(51, {"a"}), "51:中文 a");
  EXPECT_EQ(TitleText(context_, TitleCode{3}), "标题");
}

TEST_F(MessagesTest, UnstartedContextReadsNoWorkingDirectoryFile) {
  AppContext unstarted;
  EXPECT_EQ(MessageFilePath(unstarted), "");
  ErrorText(unstarted, ErrorCode::WriteData);
  EXPECT_EQ(CurrentErrorLog(unstarted), "20:未知的错误类型");
}

}  // namespace
}  // namespace tovask
