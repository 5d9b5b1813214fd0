// tvk create, add, delete, rename and encrypt, run as a separate process: exact output, exit
// status, and what the archive holds afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/format.h"
#include "archive/reader.h"
#include "core/app_context.h"
#include "core/startup.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace tovask::testing {
namespace {

using Names = std::vector<std::string>;

// 2004-03-05 07:08:09 UTC; tvk runs with TZ=UTC, so the listed time is exactly that.
constexpr std::int64_t kFileTime = 1078470489;
constexpr const char* kListedTime = "2004-03-05 07:08:09";
constexpr const char* kTitles =
    "相对路径及文件名\t原文件大小\t压缩后大小\t修改时间\t加密\t属性\tMD5效验码\n";

// MD5 of the few contents used here.
constexpr const char* kMd5Hello = "5D41402ABC4B2A76B9719D911017C592";       // "hello"
constexpr const char* kMd5World = "08CF82251C975A5E9734699FADF5E9C0";       // "world!"
constexpr const char* kMd5NewContent = "96C15C2BB2921193BF290DF8CD85E2BA";  // "new content"

class ModifyCommandsTest : public ::testing::Test {
 protected:
  ModifyCommandsTest() {
    std::filesystem::create_directories(dir_ / "prog");
    StartUp(context_, dir_ / "prog");
  }

  // Writes a source file with the fixed modification time.
  void Source(const std::string& relative, const std::string& content) {
    WriteFile(dir_ / relative, content);
    ASSERT_TRUE(platform::SetModifiedTime(dir_ / relative, kFileTime));
  }

  // Runs tvk in the test folder, so relative arguments are resolved against it.
  ProcessResult Tvk(const std::vector<std::string>& args, const std::string& input = "") {
    ProcessOptions options;
    options.input = input;
    options.workingDirectory = dir_.path();
    options.env = {{"TZ", "UTC"}};
    return RunTvk(args, options);
  }

  // One listing line as tvk list prints it.
  static std::string Row(const std::string& path, const std::string& size,
                         const std::string& stored, bool encrypted, const std::string& md5) {
    return path + "\t" + size + "\t" + stored + "\t" + kListedTime + "\t" + (encrypted ? "Y" : "") +
           "\tA\t" + md5 + "\n";
  }

  std::string List(const std::string& archive = "a.tvk") {
    const ProcessResult r = Tvk({"list", archive});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return r.out;
  }

  // The archive "a.tvk" with src\a.txt ("hello") and src\sub\b.txt ("world!").
  void CreateSample() {
    Source("src/a.txt", "hello");
    Source("src/sub/b.txt", "world!");
    const ProcessResult r = Tvk({"create", "a.tvk", "src"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(r.out, "");
    ASSERT_EQ(r.err, "");
  }

  // Content of every entry decoded with password; "<bad>" for one that does not verify.
  std::vector<std::string> Contents(const std::string& password) {
    ArchiveIndex index;
    LoadOptions options;
    options.mode = LoadMode::WithBlocks;
    ClearErrorLog(context_);
    EXPECT_TRUE(LoadArchiveIndex(context_, index, Archive(), options)) << context_.errorLog;
    std::vector<std::string> contents;
    for (std::size_t i = 0; i < index.paths.size(); ++i) {
      const Bytes plain = DecodeDataBlock(context_.dataOps, index.storedBlocks[i], index.flags[i],
                                          password, index.originalSizes[i]);
      contents.push_back(context_.dataOps.Digest(plain) == index.md5Texts[i] ? ToText(plain)
                                                                             : "<bad>");
    }
    return contents;
  }

  std::string Archive() const { return dir_ / "a.tvk"; }
  std::string ArchiveBytes() const { return ReadFile(Archive()); }
  // Names in the test folder other than the sources: a temporary file would show here.
  Names FolderNames() const {
    Names names;
    const auto listed = platform::ListFolder(dir_.path());
    if (!listed) return {"<unreadable>"};
    for (const auto& name : *listed) {
      if (name != "src" && name != "prog" && name != "x" && name != "y") names.push_back(name);
    }
    return names;
  }

  TempDir dir_;
  AppContext context_;
};

TEST_F(ModifyCommandsTest, CreateThenListShowsTheFolderAsFirstLevel) {
  CreateSample();
  EXPECT_EQ(List(), std::string(kTitles) + Row("src\\a.txt", "5", "5", false, kMd5Hello) +
                        Row("src\\sub\\b.txt", "6", "6", false, kMd5World));
  EXPECT_EQ(FolderNames(), Names{"a.tvk"});
}

TEST_F(ModifyCommandsTest, CreateWithAPasswordEncryptsEveryEntry) {
  Source("src/a.txt", "hello");
  Source("src/sub/b.txt", "world!");
  struct Case {
    std::vector<std::string> args;
    std::string input;
  };
  for (const Case& c : {Case{{"create", "a.tvk", "src", "-p", "pw"}, ""},
                        Case{{"create", "a.tvk", "src", "--password-stdin"}, "pw\n"}}) {
    SCOPED_TRACE(c.args.back());
    const ProcessResult r = Tvk(c.args, c.input);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(List(), std::string(kTitles) + Row("src\\a.txt", "5", "50", true, kMd5Hello) +
                          Row("src\\sub\\b.txt", "6", "51", true, kMd5World));
    EXPECT_EQ(Contents("pw"), (Names{"hello", "world!"}));
    EXPECT_EQ(Contents("other"), (Names{"<bad>", "<bad>"}));
  }
}

// An empty password given to extract or test is not a cancel: the first encrypted entry is
// reported as needing one, and nothing is asked or written.
TEST_F(ModifyCommandsTest, EmptyPasswordForExtractAndTestSaysAPasswordIsNeeded) {
  Source("src/a.txt", "hello");
  ASSERT_EQ(Tvk({"create", "a.tvk", "src", "-p", "pw"}).exitCode, 0);
  struct Case {
    std::vector<std::string> args;
    std::string input;
  };
  for (const Case& c :
       {Case{{"extract", "a.tvk", "-o", "out", "-p", ""}, ""},
        Case{{"extract", "a.tvk", "-o", "out", "--password-stdin"}, "\n"},
        Case{{"test", "a.tvk", "-p", ""}, ""}, Case{{"test", "a.tvk", "--password-stdin"}, ""}}) {
    SCOPED_TRACE(c.args[0] + " " + c.args.back());
    const ProcessResult r = Tvk(c.args, c.input);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "113:文件 src\\a.txt 已加密，需要密码才能解压。\n");
    EXPECT_FALSE(platform::PathExists(dir_ / "out/src/a.txt"));
  }
}

// A password option that holds no password (an unset variable in a script) must not give an
// archive that only looks encrypted.
TEST_F(ModifyCommandsTest, PasswordOptionWithoutAPasswordIsAUsageError) {
  Source("src/a.txt", "hello");
  struct Case {
    std::vector<std::string> options;
    std::string input;
    std::string errPart;
  };
  for (const char* command : {"create", "add"}) {
    for (const Case& c :
         {Case{{"--password-stdin"}, "", "--password-stdin"},
          Case{{"--password-stdin"}, "\n", "empty"}, Case{{"-p", ""}, "", "empty"}}) {
      SCOPED_TRACE(std::string(command) + " " + c.options[0]);
      std::vector<std::string> args = {command, "a.tvk", "src"};
      args.insert(args.end(), c.options.begin(), c.options.end());
      const ProcessResult r = Tvk(args, c.input);
      EXPECT_EQ(r.exitCode, 2);
      EXPECT_EQ(r.out, "");
      EXPECT_NE(r.err.find(c.errPart), std::string::npos) << r.err;
      EXPECT_FALSE(platform::PathExists(Archive()));
    }
  }
}

TEST_F(ModifyCommandsTest, CompressionLevelOutsideOneToNineteenIsAUsageError) {
  Source("src/a.txt", "hello");
  for (const char* command : {"create", "add"}) {
    for (const char* level : {"0", "20"}) {
      SCOPED_TRACE(std::string(command) + " --level " + level);
      const ProcessResult r = Tvk({command, "a.tvk", "src", "--level", level});
      EXPECT_EQ(r.exitCode, 2);
      EXPECT_EQ(r.out, "");
      EXPECT_EQ(r.err, std::string("--level: the compression level must be a whole number from 1 "
                                   "to 19, not \"") +
                           level + "\"\nRun with --help for more information.\n");
      EXPECT_FALSE(platform::PathExists(Archive()));
    }
  }
  // Any level gives an archive that lists the same content.
  ASSERT_EQ(Tvk({"create", "a.tvk", "src", "--level", "19"}).exitCode, 0);
  EXPECT_EQ(List(), std::string(kTitles) + Row("src\\a.txt", "5", "5", false, kMd5Hello));
}

TEST_F(ModifyCommandsTest, AddReplacesAnEntryOfTheSameNameAtTheEnd) {
  Source("x/A.TXT", "hello");
  Source("x/b.txt", "world!");
  Source("y/a.txt", "new content");
  ProcessResult r = Tvk({"create", "a.tvk", "x/A.TXT", "x/b.txt"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = Tvk({"add", "a.tvk", "y/a.txt"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_EQ(List(), std::string(kTitles) + Row("b.txt", "6", "6", false, kMd5World) +
                        Row("a.txt", "11", "11", false, kMd5NewContent));
}

TEST_F(ModifyCommandsTest, CreateFromAMissingSourceFailsWithItsMessage) {
  const ProcessResult r = Tvk({"create", "a.tvk", "nothing-here"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.substr(0, 4), "101:") << r.err;
  EXPECT_FALSE(platform::PathExists(Archive()));
}

TEST_F(ModifyCommandsTest, DeleteRemovesEntriesByNameInAnyCase) {
  CreateSample();
  const ProcessResult r = Tvk({"delete", "a.tvk", "SRC\\A.TXT", "not-there"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_EQ(List(), std::string(kTitles) + Row("src\\sub\\b.txt", "6", "6", false, kMd5World));
}

TEST_F(ModifyCommandsTest, DeleteOfEveryEntryFailsAndKeepsTheArchive) {
  CreateSample();
  const std::string before = ArchiveBytes();
  const ProcessResult r = Tvk({"delete", "a.tvk", "src\\a.txt", "src\\sub\\b.txt"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "108:不能删除压缩包中的全部文件。\n");
  EXPECT_EQ(ArchiveBytes(), before);
  EXPECT_EQ(FolderNames(), Names{"a.tvk"});
}

struct RenameCase {
  const char* label;
  std::string oldName;
  std::string newName;
  int exitCode;
  std::string err;
  std::string firstPath;  // the first entry's name afterwards
};

class RenameCommandTest : public ModifyCommandsTest,
                          public ::testing::WithParamInterface<RenameCase> {};

TEST_P(RenameCommandTest, RenamesOrPrintsTheMessage) {
  const RenameCase& c = GetParam();
  CreateSample();
  const std::string before = ArchiveBytes();
  const ProcessResult r = Tvk({"rename", "a.tvk", c.oldName, c.newName});
  EXPECT_EQ(r.exitCode, c.exitCode);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, c.err);
  if (c.exitCode != 0) {
    EXPECT_EQ(ArchiveBytes(), before);
  }
  EXPECT_EQ(List(), std::string(kTitles) + Row(c.firstPath, "5", "5", false, kMd5Hello) +
                        Row("src\\sub\\b.txt", "6", "6", false, kMd5World));
  EXPECT_EQ(FolderNames(), Names{"a.tvk"});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RenameCommandTest,
    ::testing::Values(
        RenameCase{"moves_to_another_level", "src\\a.txt", "top.txt", 0, "", "top.txt"},
        RenameCase{"old_name_in_any_case", "SRC\\A.TXT", "src\\c.txt", 0, "", "src\\c.txt"},
        RenameCase{"same_name", "src\\a.txt", "src\\a.txt", 0, "", "src\\a.txt"},
        RenameCase{"existing_name", "src\\a.txt", "SRC\\SUB\\B.TXT", 1,
                   "71:文件名 SRC\\SUB\\B.TXT 在压缩包中已经存在，不能重命名。\n", "src\\a.txt"},
        RenameCase{"case_only", "src\\a.txt", "SRC\\A.TXT", 1,
                   "71:文件名 SRC\\A.TXT 在压缩包中已经存在，不能重命名。\n", "src\\a.txt"},
        RenameCase{"illegal_character", "src\\a.txt", "a:b", 1, "73:文件名 a:b 中包含非法字符。\n",
                   "src\\a.txt"},
        RenameCase{"outside_the_target", "src\\a.txt", "..\\x", 1,
                   "73:文件名 ..\\x 中包含非法字符。\n", "src\\a.txt"},
        RenameCase{"empty_name", "src\\a.txt", "", 1, "73:文件名  中包含非法字符。\n",
                   "src\\a.txt"},
        RenameCase{"missing_entry", "nope", "new", 1, "72:文件 nope 没有在压缩包中找到。\n",
                   "src\\a.txt"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(ModifyCommandsTest, RenameOfAMissingArchivePrintsTheReaderMessage) {
  const ProcessResult r = Tvk({"rename", "missing.tvk", "a", "b"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.substr(0, 2), "2:") << r.err;
  EXPECT_NE(r.err.find(platform::AsciiUpper(dir_ / "missing.tvk")), std::string::npos) << r.err;
}

TEST_F(ModifyCommandsTest, EncryptWithoutNamesEncryptsEveryEntry) {
  CreateSample();
  const ProcessResult r = Tvk({"encrypt", "a.tvk", "-p", "s3cret"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_EQ(List(), std::string(kTitles) + Row("src\\a.txt", "5", "50", true, kMd5Hello) +
                        Row("src\\sub\\b.txt", "6", "51", true, kMd5World));
  EXPECT_EQ(Contents("s3cret"), (Names{"hello", "world!"}));
}

TEST_F(ModifyCommandsTest, EncryptNamedEntriesWithThePasswordFromStdin) {
  CreateSample();
  ProcessResult r = Tvk({"encrypt", "a.tvk", "SRC\\SUB\\B.TXT", "--password-stdin"}, "first\n");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_EQ(List(), std::string(kTitles) + Row("src\\a.txt", "5", "5", false, kMd5Hello) +
                        Row("src\\sub\\b.txt", "6", "51", true, kMd5World));
  // A second password for the rest: the archive then holds entries under two passwords.
  r = Tvk({"encrypt", "a.tvk", "--password-stdin"}, "second\r\n");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Contents("second"), (Names{"hello", "<bad>"}));
  EXPECT_EQ(Contents("first"), (Names{"<bad>", "world!"}));
}

TEST_F(ModifyCommandsTest, EncryptWithoutAPasswordSourceIsAUsageErrorThatWritesNothing) {
  CreateSample();
  const std::string before = ArchiveBytes();
  struct Case {
    std::vector<std::string> args;
    std::string input;
    std::string errPart;
  };
  for (const Case& c : {
           // stdin is a pipe here, not a terminal: the password cannot be asked for
           Case{{"encrypt", "a.tvk"}, "typed\n", "no password"},
           Case{{"encrypt", "a.tvk", "src\\a.txt"}, "", "no password"},
           Case{{"encrypt", "a.tvk", "--password-stdin"}, "", "--password-stdin"},
           Case{{"encrypt", "a.tvk", "-p", ""}, "", "empty"},
           Case{{"encrypt", "a.tvk", "--password-stdin"}, "\n", "empty"},
       }) {
    SCOPED_TRACE(c.args.back());
    const ProcessResult r = Tvk(c.args, c.input);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.errPart), std::string::npos) << r.err;
    EXPECT_EQ(ArchiveBytes(), before);
  }
}

TEST_F(ModifyCommandsTest, MissingArgumentsAreUsageErrors) {
  CreateSample();
  const std::string before = ArchiveBytes();
  for (const std::vector<std::string>& args :
       {Names{"delete", "a.tvk"}, Names{"rename", "a.tvk", "src\\a.txt"}, Names{"create", "b.tvk"},
        Names{"add", "a.tvk"}, Names{"encrypt", "a.tvk", "-p", "x", "--password-stdin"}}) {
    SCOPED_TRACE(args[0]);
    const ProcessResult r = Tvk(args, "pw\n");
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(ArchiveBytes(), before);
  EXPECT_EQ(FolderNames(), Names{"a.tvk"});
}

}  // namespace
}  // namespace tovask::testing
