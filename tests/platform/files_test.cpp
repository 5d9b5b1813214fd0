#include "platform/files.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file_handle.h"
#include "platform/scoped_env.h"
#include "platform/text.h"
#include "support/fault_plan.h"
#include "support/temp_dir.h"

namespace tovask::platform {
namespace {

using namespace std::string_view_literals;
using tovask::testing::FaultPlan;
using tovask::testing::ReadFile;
using tovask::testing::TempDir;
using tovask::testing::WriteFile;

unsigned ModeOf(const std::string& path) { return tovask::testing::FileMode(path); }

TEST(FilesTest, AbsoluteNormalPath) {
  const struct {
    std::string_view path;
    std::string_view base;
    std::string_view expected;
  } cases[] = {
      {"a/../b", "/home/u", "/home/u/b"},
      {"..", "/home/u", "/home"},
      {"/..", "/home/u", "/"},
      {"../../../..", "/home/u", "/"},
      {"/", "/home/u", "/"},
      {"//", "/home/u", "/"},
      {"///", "/home/u", "/"},
      {"/./", "/home/u", "/"},
      {"/../", "/home/u", "/"},
      {"../../../", "/home/u", "/"},
      {"", "/home/u", "/home/u"},
      {"", "/home/u/", "/home/u"},  // only the path's own closing separator counts
      {".", "/home/u/", "/home/u"},
      {"x.tvk", "/home/u/", "/home/u/x.tvk"},
      {"a/..", "/home//u/../v", "/home/v"},
      {"..foo/.bar", "/h", "/h/..foo/.bar"},  // names that merely start with dots are names
      // A closing separator is kept, one of it; a closing "." or ".." level names the folder
      // as its name would, without one.
      {"Data", "/home/u", "/home/u/Data"},
      {"Data/", "/home/u", "/home/u/Data/"},
      {"Data//", "/home/u", "/home/u/Data/"},
      {"Data/./", "/home/u", "/home/u/Data/"},
      {"Data/.", "/home/u", "/home/u/Data"},
      {"Data/sub/..", "/home/u", "/home/u/Data"},
      {"Data/sub/../", "/home/u", "/home/u/Data/"},
      {"./", "/home/u", "/home/u/"},
      {"/x//y/./z/", "/home/u", "/x/y/z/"},
      {"./a/./b/", "/", "/a/b/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " against " + std::string(c.base));
    EXPECT_EQ(AbsoluteNormalPath(c.path, c.base), c.expected);
  }
}

TEST(FilesTest, RelativeBaseCountsFromTheCurrentDirectory) {
  const std::string cwd = CurrentDirectory();
  ASSERT_TRUE(IsAbsolutePath(cwd));
  EXPECT_EQ(AbsoluteNormalPath("x", "sub"), AbsoluteNormalPath("sub/x", cwd));
  EXPECT_EQ(AbsoluteNormalPath("x", ""), AbsoluteNormalPath("x", cwd));
  EXPECT_TRUE(IsAbsolutePath("/a"));
  EXPECT_FALSE(IsAbsolutePath("a/b"));
  EXPECT_FALSE(IsAbsolutePath(""));
}

TEST(FilesTest, StatAndExistenceFollowLinks) {
  TempDir dir;
  WriteFile(dir / "file", "12345");
  ASSERT_TRUE(CreateFolder(dir / "folder"));
  ASSERT_EQ(::symlink("file", (dir / "linkToFile").c_str()), 0);
  ASSERT_EQ(::symlink("folder", (dir / "linkToFolder").c_str()), 0);
  ASSERT_EQ(::symlink("missing", (dir / "dangling").c_str()), 0);

  const struct {
    std::string name;
    bool file, folder, any, stat, link;
  } cases[] = {
      {"file", true, false, true, true, false},
      {"folder", false, true, true, true, false},
      {"linkToFile", true, false, true, true, true},
      {"linkToFolder", false, true, true, true, true},
      {"dangling", false, false, true, false, false},
      {"missing", false, false, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir / c.name;
    EXPECT_EQ(FileExists(path), c.file);
    EXPECT_EQ(FolderExists(path), c.folder);
    EXPECT_EQ(PathExists(path), c.any);
    const std::optional<FileInfo> info = StatPath(path);
    ASSERT_EQ(info.has_value(), c.stat);
    if (!info) continue;
    EXPECT_EQ(info->isLink, c.link);
    EXPECT_EQ(info->isRegular, c.file);
    EXPECT_EQ(info->isDirectory, c.folder);
  }
  const FileInfo file = *StatPath(dir / "file");
  const FileInfo viaLink = *StatPath(dir / "linkToFile");
  EXPECT_EQ(file.size, 5u);
  EXPECT_EQ(viaLink.size, 5u);
  EXPECT_EQ(file.inode, viaLink.inode);
  EXPECT_EQ(file.device, viaLink.device);
}

TEST(FilesTest, StampFileTellsVersionsApart) {
  TempDir dir;
  const std::string path = dir / "file";
  WriteFile(path, "12345");
  ASSERT_EQ(::symlink(path.c_str(), (dir / "link").c_str()), 0);
  ASSERT_TRUE(CreateFolder(dir / "folder"));
  EXPECT_FALSE(StampFile(dir / "missing").has_value());
  EXPECT_FALSE(StampFile(dir / "folder").has_value());

  const std::optional<FileStamp> first = StampFile(path);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->size, 5);
  EXPECT_EQ(StampFile(path), first) << "an untouched file keeps its stamp";
  EXPECT_EQ(StampFile(dir / "link"), first) << "links are followed";

  WriteFile(path, "123456");
  const std::optional<FileStamp> grown = StampFile(path);
  EXPECT_NE(grown, first);
  // Replaced by a new file of the same size: a new identity even within one clock tick.
  ASSERT_TRUE(WriteWholeFile(path, AsBytes("abcdef")));
  EXPECT_NE(StampFile(path), grown);
}

TEST(FilesTest, ReadWholeFile) {
  TempDir dir;
  const std::string content("binary\0\xFF\r\n data", 15);
  WriteFile(dir / "data", content);
  WriteFile(dir / "empty", "");
  ASSERT_TRUE(CreateFolder(dir / "folder"));
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);

  EXPECT_EQ(ReadWholeFile(dir / "data"), ToBytes(content));
  EXPECT_EQ(ReadWholeFile(dir / "empty"), Bytes{});
  EXPECT_FALSE(ReadWholeFile(dir / "missing").has_value());
  EXPECT_FALSE(ReadWholeFile(dir / "folder").has_value());
  // A FIFO without a writer would block an ordinary open for ever.
  EXPECT_FALSE(ReadWholeFile(dir / "fifo").has_value());
}

TEST(FilesTest, ReadWholeFileDoesNotTrustTheReportedSize) {
  // Files under /proc report size 0 yet have content.
  const std::optional<Bytes> status = ReadWholeFile("/proc/self/status");
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(ToText(*status).substr(0, 5), "Name:");

  // A file larger than the first read step comes back whole.
  TempDir dir;
  std::string big(3 * 1024 * 1024 + 7, 'x');
  big.back() = 'y';
  WriteFile(dir / "big", big);
  const std::optional<Bytes> read = ReadWholeFile(dir / "big");
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->size(), big.size());
  EXPECT_EQ(read->back(), 'y');
}

TEST(FilesTest, ReadWholeFileFaults) {
  TempDir dir;
  WriteFile(dir / "data", "abc");
  for (const FileOp op : {FileOp::OpenRead, FileOp::Read}) {
    ScopedFaultHook hook([op](FileOp seen, const std::string&) { return seen == op ? EIO : 0; });
    errno = 0;
    EXPECT_FALSE(ReadWholeFile(dir / "data").has_value());
    EXPECT_EQ(errno, EIO);
  }
}

TEST(FilesTest, WriteWholeFileCreatesAndReplaces) {
  TempDir dir;
  const std::string path = dir / "out.ini";
  {
    ScopedUmask mask(022);
    ASSERT_TRUE(WriteWholeFile(path, AsBytes("first")));
  }
  EXPECT_EQ(ReadFile(path), "first");
  EXPECT_EQ(ModeOf(path), 0644u);

  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(WriteWholeFile(path, AsBytes("second, longer")));
  EXPECT_EQ(ReadFile(path), "second, longer");
  EXPECT_EQ(ModeOf(path), 0640u);  // a replaced file keeps its permission bits
  EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"out.ini"});  // no temp left

  EXPECT_FALSE(WriteWholeFile(dir / "no/such/folder/x", AsBytes("x")));
}

TEST(FilesTest, WriteWholeFileThroughALinkKeepsTheLink) {
  TempDir dir;
  WriteFile(dir / "real/target.ini", "old");
  ASSERT_EQ(::symlink("real/target.ini", (dir / "link.ini").c_str()), 0);
  ASSERT_TRUE(WriteWholeFile(dir / "link.ini", AsBytes("new")));
  EXPECT_TRUE(StatPath(dir / "link.ini")->isLink);
  EXPECT_EQ(ReadFile(dir / "real/target.ini"), "new");
  EXPECT_EQ(ListFolder(dir / "real"), std::vector<std::string>{"target.ini"});
}

TEST(FilesTest, FailingWriteWholeFileLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  const std::string path = dir / "out.ini";
  WriteFile(path, "old content");
  int count = 0;
  {
    const FaultPlan counter = FaultPlan::AnyCall(0);
    ASSERT_TRUE(WriteWholeFile(path, AsBytes("old content")));
    count = counter.calls();
  }
  // Every call fails in turn: only the folder's sync after the rename, when the new content
  // is in place, leaves the result true.
  for (int n = 1; n <= count; ++n) {
    SCOPED_TRACE(n);
    const FaultPlan plan = FaultPlan::AnyCall(n, {.errorNumber = ENOSPC});
    const bool written = WriteWholeFile(path, AsBytes("new content that is lost"));
    ASSERT_TRUE(plan.fired());
    const FaultPlan::Call& failed = plan.failedCalls().front();
    EXPECT_EQ(written, failed.op == FileOp::Sync && failed.path == dir.path()) << failed.path;
    EXPECT_EQ(ReadFile(path), written ? "new content that is lost" : "old content");
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"out.ini"});
    WriteFile(path, "old content");
  }
  // A new file that cannot be written completely does not appear at all.
  {
    ScopedFaultHook hook(
        [](FileOp seen, const std::string&) { return seen == FileOp::Write ? ENOSPC : 0; });
    EXPECT_FALSE(WriteWholeFile(dir / "fresh.ini", AsBytes("0123456789")));
  }
  EXPECT_FALSE(PathExists(dir / "fresh.ini"));
}

TEST(FilesTest, CreateFolder) {
  TempDir dir;
  EXPECT_TRUE(CreateFolder(dir / "a"));
  EXPECT_TRUE(FolderExists(dir / "a"));
  EXPECT_TRUE(CreateFolder(dir / "a"));  // already there as a folder
  WriteFile(dir / "file", "x");
  EXPECT_FALSE(CreateFolder(dir / "file"));
  EXPECT_FALSE(CreateFolder(dir / "missing/b"));  // one level only
  {
    ScopedFaultHook hook(
        [](FileOp op, const std::string&) { return op == FileOp::CreateFolder ? EACCES : 0; });
    EXPECT_FALSE(CreateFolder(dir / "c"));
  }
  EXPECT_FALSE(PathExists(dir / "c"));
}

TEST(FilesTest, RemoveFile) {
  TempDir dir;
  WriteFile(dir / "file", "x");
  ASSERT_TRUE(CreateFolder(dir / "folder"));
  {
    ScopedFaultHook hook(
        [](FileOp op, const std::string&) { return op == FileOp::Remove ? EBUSY : 0; });
    EXPECT_FALSE(RemoveFile(dir / "file"));
  }
  EXPECT_TRUE(FileExists(dir / "file"));
  EXPECT_TRUE(RemoveFile(dir / "file"));
  EXPECT_FALSE(PathExists(dir / "file"));
  EXPECT_TRUE(RemoveFile(dir / "file"));  // already gone
  EXPECT_FALSE(RemoveFile(dir / "folder"));
  EXPECT_TRUE(FolderExists(dir / "folder"));
}

TEST(FilesTest, SetModifiedTimeKeepsTheAccessTime) {
  TempDir dir;
  const std::string path = dir / "file";
  WriteFile(path, "x");
  const struct timespec initial[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), initial, 0), 0);

  ASSERT_TRUE(SetModifiedTime(path, 1078470489));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1078470489);
  EXPECT_EQ(st.st_mtim.tv_nsec, 0);
  EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
  EXPECT_EQ(StatPath(path)->modifiedUnix, 1078470489);

  ASSERT_TRUE(SetModifiedTime(path, -86400));  // before 1970
  EXPECT_EQ(StatPath(path)->modifiedUnix, -86400);

  EXPECT_FALSE(SetModifiedTime(dir / "missing", 0));
  ScopedFaultHook hook(
      [](FileOp op, const std::string&) { return op == FileOp::SetTime ? EIO : 0; });
  EXPECT_FALSE(SetModifiedTime(path, 5));
  EXPECT_EQ(StatPath(path)->modifiedUnix, -86400);
}

TEST(FilesTest, SetReadOnly) {
  TempDir dir;
  const std::string path = dir / "file";
  WriteFile(path, "x");
  const struct {
    unsigned before;
    bool readOnly;
    unsigned after;
  } cases[] = {
      {0664, true, 0444},                        // every write bit goes
      {0777, true, 0555},  {0444, false, 0644},  // only the owner's write bit comes back
      {0400, false, 0600}, {0644, false, 0644}, {04755, true, 04555},  // other bits are kept
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before);
    ASSERT_EQ(::chmod(path.c_str(), c.before), 0);
    ASSERT_TRUE(SetReadOnly(path, c.readOnly));
    EXPECT_EQ(ModeOf(path), c.after);
    EXPECT_EQ(StatPath(path)->ownerWritable, !c.readOnly);
  }
  ScopedFaultHook hook(
      [](FileOp op, const std::string&) { return op == FileOp::SetMode ? EPERM : 0; });
  EXPECT_FALSE(SetReadOnly(path, true));
  EXPECT_EQ(ModeOf(path), 04555u);  // unchanged
}

TEST(FilesTest, ListFolderIsSortedBytewise) {
  TempDir dir;
  // Created in an order that is neither sorted nor reverse-sorted.
  for (const char* name : {"b", "中", "a.txt", "_", "C", "a", "\xC3\xA9"}) {
    WriteFile(dir / name, "x");
  }
  ASSERT_TRUE(CreateFolder(dir / "B"));
  ASSERT_EQ(::symlink("gone", (dir / "z-link").c_str()), 0);
  const std::vector<std::string> expected = {"B", "C",      "_",        "a", "a.txt",
                                             "b", "z-link", "\xC3\xA9", "中"};
  EXPECT_EQ(ListFolder(dir.path()), expected);
  EXPECT_EQ(ListFolder(dir / "B"), std::vector<std::string>{});
  EXPECT_FALSE(ListFolder(dir / "missing").has_value());
  EXPECT_FALSE(ListFolder(dir / "a").has_value());  // a file

  ScopedFaultHook hook(
      [](FileOp op, const std::string&) { return op == FileOp::ReadFolder ? EACCES : 0; });
  EXPECT_FALSE(ListFolder(dir.path()).has_value());
}

TEST(FilesTest, ReadIniValue) {
  const struct {
    const char* label;
    std::string_view content;
    std::string_view section;
    std::string_view key;
    std::string_view expected;
  } cases[] = {
      {"LF lines", "[Error]\n1=one\n2=two\n", "Error", "2", "two"},
      {"CR LF lines", "[Error]\r\n1=one\r\n2=two\r\n", "Error", "1", "one"},
      {"names ignore case", "[eRRor]\r\nAbc=x\r\n", "ERROR", "aBC", "x"},
      {"blanks around names", "  [ Error ]  \n  7 =v\n", "Error", "7", "v"},
      {"value keeps its blanks", "[Error]\n1= a b \n", "Error", "1", " a b "},
      {"missing key", "[Error]\n1=one\n", "Error", "3", "default"},
      {"missing section", "[Title]\n1=one\n", "Error", "1", "default"},
      {"key in another section", "[Title]\n5=t\n[Error]\n1=e\n", "Error", "5", "default"},
      {"after another section", "[Error]\n1=e\n[Title]\n5=t\n", "Title", "5", "t"},
      {"text before the first section", "5=pre\n[Error]\n1=e\n", "Error", "5", "default"},
      {"value holding =", "[Error]\n1=a=b==c\n", "Error", "1", "a=b==c"},
      {"first key wins", "[Error]\n1=first\n1=second\n", "Error", "1", "first"},
      {"empty value", "[Error]\n1=\n2=two\n", "Error", "1", ""},
      {"last line without line end", "[Error]\n1=last", "Error", "1", "last"},
      {"key is not a prefix", "[Error]\n10=ten\n", "Error", "1", "default"},
      {"section is not a prefix", "[Errors]\n1=x\n", "Error", "1", "default"},
      {"line without =", "[Error]\n1\n1=x\n", "Error", "1", "x"},
      {"section opened twice", "[Error]\n1=a\n[Title]\n2=t\n[error]\n1=b\n2=c\n", "Error", "2",
       "c"},
      {"first key of a section opened twice", "[Error]\n1=a\n[error]\n1=b\n", "Error", "1", "a"},
      {"undecodable first key hides a later one", "[Error]\n1=\x81\x20\n1=ok\n", "Error", "1",
       "default"},
      {"UTF-8 with BOM", "\xEF\xBB\xBF[Error]\r\n1=打开文件 %1% 失败！\r\n", "Error", "1",
       "打开文件 %1% 失败！"},
      {"GBK value", "[Error]\r\n1=\xD6\xD0\xCE\xC4\xA3\xA1\r\n", "Error", "1", "中文！"},
      // Without the byte-order mark the file is GBK; UTF-8 "中" is no valid GBK sequence.
      {"UTF-8 without BOM is GBK", "[Error]\n1=中\n", "Error", "1", "default"},
      {"undecodable value", "[Error]\n1=\x81\x20\n2=ok\n", "Error", "1", "default"},
      {"undecodable other line", "[Error]\n1=\x81\x20\n2=ok\n", "Error", "2", "ok"},
      // 0x81 0x5D is one GBK character whose second byte is "]".
      {"GBK section name holding ]", "[A\x81\x5D]\n1=v\n", "A\xE4\xB9\x9A", "1", "v"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string path = dir / "test.ini";
    WriteFile(path, std::string(c.content));
    EXPECT_EQ(ReadIniValue(path, c.section, c.key, "default"), c.expected);
  }
  EXPECT_EQ(ReadIniValue(dir / "missing.ini", "Error", "1", "fallback"), "fallback");
}

TEST(FilesTest, UserConfigDirectory) {
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "/tmp/cfg");
    EXPECT_EQ(UserConfigDirectory(), "/tmp/cfg/tovask");
  }
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv home("HOME", "/home/someone");
    EXPECT_EQ(UserConfigDirectory(), "/home/someone/.config/tovask");
  }
  {
    // A relative XDG_CONFIG_HOME is invalid and ignored; so is an empty one.
    ScopedEnv home("HOME", "/home/someone");
    for (const char* value : {"relative/cfg", ""}) {
      ScopedEnv xdg("XDG_CONFIG_HOME", value);
      EXPECT_EQ(UserConfigDirectory(), "/home/someone/.config/tovask");
    }
  }
}

TEST(FilesTest, ExecutableDirectoryHoldsTheRunningProgram) {
  const std::string folder = ExecutableDirectory();
  ASSERT_TRUE(IsAbsolutePath(folder));
  EXPECT_TRUE(FolderExists(folder));
  EXPECT_NE(folder.back(), '/');
  EXPECT_TRUE(FileExists(folder + "/" + program_invocation_short_name));
}

}  // namespace
}  // namespace tovask::platform
