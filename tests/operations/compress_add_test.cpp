#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_index.h"
#include "archive/format.h"
#include "archive/reader.h"
#include "core/app_context.h"
#include "core/messages.h"
#include "core/startup.h"
#include "operations/collect_test_helpers.h"
#include "operations/compress_add.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "support/fault_plan.h"
#include "support/recording_sink.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace tovask {
namespace {

namespace fs = std::filesystem;
using platform::FileOp;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::FaultPlan;
using testing::HookGuard;
using ::testing::IsEmpty;
using testing::LoggedCodes;
using testing::ReadFile;
using testing::RecordingSink;
using testing::TempDir;
using testing::WriteFile;

// One entry as read back from an archive, its content decoded and checked.
struct Stored {
  ArchiveEntry entry;
  std::string content;  // decoded with the given password
  bool digestMatches = false;
};

class CompressTest : public ::testing::Test {
 protected:
  void SetUp() override { StartUp(context_, runDir_.path()); }

  std::string Make(const std::string& relative, const std::string& content) {
    const std::string path = tmp_ / relative;
    WriteFile(path, content);
    return path;
  }

  // Every entry of the archive, decoded with password; empty when it does not load.
  std::vector<Stored> ReadBack(const std::string& archive, const std::string& password = "") {
    AppContext reader;
    StartUp(reader, runDir_.path());
    ArchiveIndex index;
    LoadOptions options;
    options.mode = LoadMode::WithBlocks;
    std::vector<Stored> out;
    if (!LoadArchiveIndex(reader, index, archive, options)) {
      ADD_FAILURE() << "archive does not load: " << reader.errorLog;
      return out;
    }
    for (std::size_t i = 0; i < index.paths.size(); ++i) {
      Stored s;
      s.entry = index.Entry(i);
      const Bytes content = DecodeDataBlock(reader.dataOps, index.storedBlocks[i], s.entry.flags,
                                            password, s.entry.originalSize);
      s.content = ToText(content);
      s.digestMatches = reader.dataOps.Digest(content) == s.entry.md5Text;
      out.push_back(std::move(s));
    }
    return out;
  }

  static std::vector<std::string> Paths(const std::vector<Stored>& stored) {
    std::vector<std::string> paths;
    for (const Stored& s : stored) paths.push_back(s.entry.path);
    return paths;
  }

  // Names in a folder (to see that no temporary file was left).
  static std::vector<std::string> FolderNames(const std::string& folder) {
    return platform::ListFolder(folder).value_or(std::vector<std::string>{});
  }

  std::vector<int> Codes() const { return LoggedCodes(context_); }

  TempDir runDir_;
  TempDir tmp_;  // sources
  TempDir out_;  // archives
  AppContext context_;
};

TEST_F(CompressTest, TenFileNewArchiveReportsExactly) {
  std::vector<std::string> paths;
  for (int i = 0; i < 10; ++i) {
    paths.push_back(Make("T/f" + std::to_string(i) + ".txt", std::string(100 + i, 'a' + i)));
  }
  RecordingSink sink;
  const std::string archive = out_ / "ten.tvk";
  ASSERT_TRUE(CompressAndAdd(context_, {{tmp_ / "T"}, archive, "", true}, {&sink}).done())
      << context_.errorLog;
  EXPECT_TRUE(context_.stepOk);
  EXPECT_TRUE(context_.errorLog.empty());

  EXPECT_THAT(sink.Percents(),
              ElementsAreArray({1,  10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 76, 77, 78, 80, 81,
                                82, 83, 85, 86, 87, 88, 89, 90, 92, 93, 94, 95, 97, 98, 99, 100}));
  std::vector<std::string> texts = {TitleText(context_, TitleCode::PreparingCompression)};
  for (int i = 1; i <= 10; ++i) {
    texts.push_back(
        TitleText(context_, TitleCode::Compressing, {paths[i - 1], std::to_string(i) + "/10"}));
  }
  for (TitleCode title : {TitleCode::PreparingWrite, TitleCode::WritingData}) {
    for (int i = 1; i <= 10; ++i) {
      texts.push_back(TitleText(context_, title, {std::to_string(i) + "/10"}));
    }
  }
  texts.push_back(TitleText(context_, TitleCode::CompressionDone));
  ASSERT_EQ(sink.records().size(), texts.size());
  for (std::size_t k = 0; k < texts.size(); ++k) {
    EXPECT_EQ(sink.records()[k].text, texts[k]) << "report " << k + 1;
  }
  EXPECT_EQ(texts[1], "正在压缩: " + paths[0] + " [1/10]");  // the catalogue's form

  const auto stored = ReadBack(archive);
  ASSERT_EQ(stored.size(), 10u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(stored[i].entry.path, "T\\f" + std::to_string(i) + ".txt");
    EXPECT_EQ(stored[i].content, std::string(100 + i, 'a' + i));
    EXPECT_TRUE(stored[i].digestMatches);
  }
}

TEST_F(CompressTest, FilePercentsAreComputedInIntegers) {
  // 29 of 50 files: in floating point 29 / 50 * 50 comes out one short.
  std::vector<std::string> sources;
  for (int i = 0; i < 50; ++i) sources.push_back(Make("n/" + std::to_string(i), "x"));
  RecordingSink sink;
  ASSERT_TRUE(CompressAndAdd(context_, {sources, out_ / "fifty.tvk", "", true}, {&sink}).done());
  ASSERT_GE(sink.records().size(), 51u);
  for (int i = 1; i <= 50; ++i) EXPECT_EQ(sink.records()[i].percent, i + 5);
  // Three files: 21, 38, 55.
  RecordingSink three;
  ASSERT_TRUE(CompressAndAdd(context_,
                             {{sources[0], sources[1], sources[2]}, out_ / "3.tvk", "", true},
                             {&three})
                  .done());
  EXPECT_EQ(three.records()[1].percent, 21);
  EXPECT_EQ(three.records()[2].percent, 38);
  EXPECT_EQ(three.records()[3].percent, 55);
}

TEST_F(CompressTest, AddModeReplacesSameNameAtTheEndAndLoadsInItsBand) {
  const std::string archive = out_ / "add.tvk";
  ASSERT_TRUE(CompressAndAdd(context_, {{Make("old/A.TXT", "old A"), Make("old/b.txt", "old b"),
                                         Make("old/c.txt", "old c")},
                                        archive})
                  .done());
  RecordingSink sink;
  ASSERT_TRUE(
      CompressAndAdd(context_,
                     {{Make("new/a.txt", "new a"), Make("new/d.txt", "new d")}, archive, "", false},
                     {&sink})
          .done())
      << context_.errorLog;

  const auto stored = ReadBack(archive);
  EXPECT_EQ(Paths(stored), (std::vector<std::string>{"b.txt", "c.txt", "a.txt", "d.txt"}));
  ASSERT_EQ(stored.size(), 4u);
  EXPECT_EQ(stored[0].content, "old b");
  EXPECT_EQ(stored[1].content, "old c");
  EXPECT_EQ(stored[2].content, "new a");
  EXPECT_EQ(stored[3].content, "new d");
  for (const Stored& s : stored) EXPECT_TRUE(s.digestMatches) << s.entry.path;

  // 1, the two files, the load (one report per entry in the file), then the writer.
  std::vector<int> expected = {1, 30, 55};
  for (int i = 1; i <= 3; ++i) expected.push_back(i * 20 / 3 + 55);
  for (int i = 1; i <= 4; ++i) expected.push_back(i * 25 / 8 + 75);
  for (int i = 1; i <= 4; ++i) expected.push_back(i * 25 / 8 + 75 + 12);
  expected.push_back(100);
  EXPECT_EQ(sink.Percents(), expected);
  EXPECT_EQ(sink.records()[3].text, TitleText(context_, TitleCode::ReadingData, {"1/3"}));
  EXPECT_EQ(sink.records()[5].text, TitleText(context_, TitleCode::ReadingData, {"3/3"}));
}

TEST_F(CompressTest, NewArchiveModeReplacesAnExistingFileWithoutReadingIt) {
  const std::string archive = out_ / "x.tvk";
  WriteFile(archive, "not an archive at all");
  ASSERT_TRUE(CompressAndAdd(context_, {{Make("x.txt", "content")}, archive, "", true}).done())
      << context_.errorLog;
  EXPECT_EQ(Paths(ReadBack(archive)), (std::vector<std::string>{"x.txt"}));
}

TEST_F(CompressTest, AddingToANonArchiveFailsAndLeavesItAlone) {
  const std::vector<std::string> garbage = {"not an archive at all", std::string("RID", 3),
                                            std::string("XYZ 1.05\0\1\0\0\0", 13)};
  for (const std::string& bytes : garbage) {
    SCOPED_TRACE(bytes);
    const std::string archive = out_ / "junk.tvk";
    WriteFile(archive, bytes);
    EXPECT_FALSE(CompressAndAdd(context_, {{Make("x.txt", "content")}, archive, "", false}).done());
    EXPECT_FALSE(context_.stepOk);
    const auto codes = Codes();
    ASSERT_EQ(codes.size(), 1u) << context_.errorLog;
    EXPECT_TRUE(codes[0] == 51 || codes[0] == 53) << context_.errorLog;
    EXPECT_EQ(ReadFile(archive), bytes);
    EXPECT_THAT(FolderNames(out_.path()), ElementsAre("junk.tvk"));
  }
}

TEST_F(CompressTest, AddingToAMissingArchiveCreatesIt) {
  const std::string archive = out_ / "fresh.tvk";
  ASSERT_TRUE(CompressAndAdd(context_, {{Make("x.txt", "1")}, archive, "", false}).done());
  EXPECT_EQ(Paths(ReadBack(archive)), (std::vector<std::string>{"x.txt"}));
}

TEST_F(CompressTest, EntryFieldsTimeAndAttributes) {
  const char* oldTz = std::getenv("TZ");
  const std::optional<std::string> savedTz =
      oldTz ? std::optional<std::string>(oldTz) : std::nullopt;
  setenv("TZ", "UTC0", 1);
  tzset();

  const std::string plain = Make("F/plain.txt", std::string(1000, 'z'));  // compresses
  const std::string hidden = Make("F/.hidden", "abc");                    // does not
  const std::string readOnly = Make("F/ro.txt", "read only");
  const std::string empty = Make("F/empty", "");
  ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
  // 5 March 2004 07:08:09 UTC = 1078470489.
  for (const std::string& p : {plain, hidden, readOnly, empty}) {
    ASSERT_TRUE(platform::SetModifiedTime(p, 1078470489));
  }
  const std::string archive = out_ / "fields.tvk";
  const bool ok = CompressAndAdd(context_, {{tmp_ / "F/"}, archive}).done();

  if (savedTz) {
    setenv("TZ", savedTz->c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
  ASSERT_TRUE(ok) << context_.errorLog;

  const auto stored = ReadBack(archive);
  ASSERT_EQ(Paths(stored), (std::vector<std::string>{".hidden", "empty", "plain.txt", "ro.txt"}));
  double expectedTime;
  const unsigned char timeBytes[8] = {0x90, 0xA1, 0xB2, 0x83, 0x69, 0x94, 0xE2, 0x40};
  std::memcpy(&expectedTime, timeBytes, 8);
  for (const Stored& s : stored) {
    SCOPED_TRACE(s.entry.path);
    EXPECT_EQ(s.entry.time, expectedTime);
    EXPECT_TRUE(s.digestMatches);
    EXPECT_EQ(s.entry.originalSize, static_cast<std::int32_t>(s.content.size()));
  }
  using F = EntryFlags;
  EXPECT_EQ(stored[0].entry.flags, F::Archive | F::Hidden);
  EXPECT_EQ(stored[0].entry.storedSize, 3);
  EXPECT_EQ(stored[1].entry.flags, F::Archive);  // empty: stored uncompressed, size 0
  EXPECT_EQ(stored[1].entry.originalSize, 0);
  EXPECT_EQ(stored[1].entry.storedSize, 0);
  EXPECT_EQ(stored[1].entry.md5Text, "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(stored[2].entry.flags, F::Archive | F::Compressed);
  EXPECT_LT(stored[2].entry.storedSize, 1000);
  EXPECT_EQ(stored[3].entry.flags, F::Archive | F::ReadOnly);
  EXPECT_EQ(stored[3].content, "read only");
}

TEST_F(CompressTest, EncryptedEntriesDecodeOnlyWithTheRightPassword) {
  std::vector<std::string> sources;
  for (int i = 0; i < 40; ++i) {
    sources.push_back(Make("E/" + std::to_string(100 + i), "secret " + std::to_string(i)));
  }
  sources.push_back(Make("E/zz-empty", ""));
  const std::string archive = out_ / "enc.tvk";
  ASSERT_TRUE(CompressAndAdd(context_, {sources, archive, "pass word"}).done())
      << context_.errorLog;

  const auto right = ReadBack(archive, "pass word");
  ASSERT_EQ(right.size(), 41u);
  int second = 0;
  for (std::size_t i = 0; i < right.size(); ++i) {
    const Stored& s = right[i];
    SCOPED_TRACE(s.entry.path);
    EXPECT_TRUE(s.entry.flags & EntryFlags::Encrypted);
    EXPECT_TRUE(s.digestMatches);
    if (s.entry.flags & EntryFlags::SecondCipher) ++second;
    if (i < 40) {
      EXPECT_EQ(s.content, "secret " + std::to_string(i));
      EXPECT_EQ(s.entry.storedSize, static_cast<std::int32_t>(s.content.size() + 45));
    }
  }
  // The method is drawn per file: 40 files with one method only would be a 1 in 2^39 event.
  EXPECT_GT(second, 0);
  EXPECT_LT(second, 41);
  EXPECT_EQ(right[40].entry.storedSize, 45);  // an encrypted empty file

  const auto wrong = ReadBack(archive, "pass Word");
  ASSERT_EQ(wrong.size(), 41u);
  for (std::size_t i = 0; i < 40; ++i) EXPECT_FALSE(wrong[i].digestMatches) << i;
  const auto none = ReadBack(archive, "");
  for (std::size_t i = 0; i < 40; ++i) EXPECT_FALSE(none[i].digestMatches) << i;
}

TEST_F(CompressTest, TwoSourcesWithTheSameNameBothBecomeEntries) {
  ASSERT_TRUE(
      CompressAndAdd(context_, {{Make("1/x.txt", "one"), Make("2/x.txt", "two")}, out_ / "d.tvk"})
          .done());
  const auto stored = ReadBack(out_ / "d.tvk");
  EXPECT_EQ(Paths(stored), (std::vector<std::string>{"x.txt", "x.txt"}));
  EXPECT_EQ(stored[0].content, "one");
  EXPECT_EQ(stored[1].content, "two");
}

// A file whose size changes between the size query and the read. The run queries a file's
// size right after its own progress report and then opens it, so the change is made from the
// platform layer's hook on the open (FileOp::OpenRead), which runs after the size query and
// before a single byte is read: exactly the window in which another program could write.
TEST_F(CompressTest, FileChangingDuringCompressionStopsWith11AndLeavesTheArchive) {
  const std::string archive = out_ / "keep.tvk";
  ASSERT_TRUE(CompressAndAdd(context_, {{Make("k/keep.txt", "kept")}, archive}).done());
  const std::string before = ReadFile(archive);

  const std::string first = Make("c/1.txt", "first");
  const std::string changing = Make("c/2.txt", "second");
  const std::string third = Make("c/3.txt", "third");
  struct Case {
    const char* what;
    bool newArchive;
    std::string extra;  // appended ("" = truncated instead)
  };
  for (const Case& c : {Case{"grows, add mode", false, "more"}, Case{"grows, new", true, "more"},
                        Case{"shrinks, add mode", false, ""}}) {
    SCOPED_TRACE(c.what);
    WriteFile(changing, "second");
    int opened = 0;
    HookGuard guard([&](FileOp op, const std::string& path) {
      if (op == FileOp::OpenRead && path == changing) {
        ++opened;
        if (c.extra.empty()) {
          WriteFile(changing, "sec");
        } else {
          std::ofstream(changing, std::ios::app) << c.extra;
        }
      }
      return 0;
    });
    RecordingSink sink;
    EXPECT_FALSE(
        CompressAndAdd(context_, {{first, changing, third}, archive, "", c.newArchive}, {&sink})
            .done());
    EXPECT_EQ(opened, 1);
    EXPECT_THAT(Codes(), ElementsAre(11));
    EXPECT_NE(context_.errorLog.find(changing), std::string::npos) << context_.errorLog;
    EXPECT_EQ(sink.records().size(), 3u);  // 1, file 1, file 2: the run stopped there
    EXPECT_EQ(ReadFile(archive), before);
    EXPECT_THAT(FolderNames(out_.path()), ElementsAre("keep.tvk"));
  }
}

TEST_F(CompressTest, UnreadableFileCountsAsZeroBytes) {
  const std::string archive = out_ / "u.tvk";
  const std::string locked = Make("u/locked.txt", "content");
  const std::string emptyFile = Make("u/empty.txt", "");
  {
    FaultPlan plan(FileOp::OpenRead, 1,
                   {.filter = [&](const std::string& p) { return p == locked; }});
    EXPECT_FALSE(CompressAndAdd(context_, {{locked}, archive}).done());
    EXPECT_TRUE(plan.fired());
    EXPECT_THAT(Codes(), ElementsAre(11));
    EXPECT_FALSE(fs::exists(archive));
  }
  {
    // An empty file that cannot be read is still its whole content.
    FaultPlan plan(FileOp::OpenRead, 1,
                   {.filter = [&](const std::string& p) { return p == emptyFile; }});
    EXPECT_TRUE(CompressAndAdd(context_, {{emptyFile}, archive}).done()) << context_.errorLog;
    EXPECT_TRUE(plan.fired());
  }
}

TEST_F(CompressTest, FileOfTwoGigabytesIsRefusedBeforeAnythingIsRead) {
  const std::string small = Make("big/a-small.txt", "small");
  const std::string big = tmp_ / "big/huge.bin";
  {
    const int fd = ::open(big.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    const int truncated = ::ftruncate(fd, off_t{1} << 31);  // sparse: no disk space used
    ::close(fd);
    if (truncated != 0) GTEST_SKIP() << "the file system cannot hold a 2 GiB sparse file";
  }
  const std::string archive = out_ / "big.tvk";
  const std::string existing = out_ / "existing.tvk";
  ASSERT_TRUE(CompressAndAdd(context_, {{small}, existing}).done());
  const std::string before = ReadFile(existing);

  for (bool newArchive : {true, false}) {
    for (const std::string& target : {archive, existing}) {
      SCOPED_TRACE(target);
      // Only the sources count: message lookups read the message file.
      FaultPlan reads(FileOp::OpenRead, 0, {.filter = testing::PathsUnder(tmp_.path())});
      RecordingSink sink;
      EXPECT_FALSE(
          CompressAndAdd(context_, {{tmp_ / "big"}, target, "", newArchive}, {&sink}).done());
      EXPECT_THAT(Codes(), ElementsAre(104));
      EXPECT_NE(context_.errorLog.find(big), std::string::npos);
      EXPECT_EQ(reads.calls(), 0);  // not even the small file before it was read
      EXPECT_EQ(sink.records().size(), 1u);
    }
  }
  EXPECT_FALSE(fs::exists(archive));
  EXPECT_EQ(ReadFile(existing), before);
  EXPECT_THAT(FolderNames(out_.path()), ElementsAre("existing.tvk"));
}

TEST_F(CompressTest, MissingArchiveFolderChainIsCreated) {
  const std::string archive = out_ / "new/deep/x.tvk";
  ASSERT_TRUE(CompressAndAdd(context_, {{Make("x.txt", "x")}, archive}).done())
      << context_.errorLog;
  EXPECT_TRUE(fs::is_directory(out_ / "new/deep"));
  EXPECT_EQ(Paths(ReadBack(archive)), (std::vector<std::string>{"x.txt"}));
}

TEST_F(CompressTest, ArchiveFolderThatCannotBeCreatedFailsWith12InUpperCase) {
  const std::string folder = out_ / "new/deep";
  FaultPlan plan(FileOp::CreateFolder, 2);  // "new" is created, "deep" is not
  EXPECT_FALSE(CompressAndAdd(context_, {{Make("x.txt", "x")}, folder + "/x.tvk"}).done());
  EXPECT_THAT(Codes(), ElementsAre(12));
  std::string upper = folder;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  EXPECT_NE(context_.errorLog.find(upper), std::string::npos) << context_.errorLog;
  EXPECT_TRUE(fs::is_directory(out_ / "new"));  // levels made before the failing one stay
  EXPECT_FALSE(fs::exists(folder));
}

TEST_F(CompressTest, RefusedRunsWriteNothing) {
  fs::create_directories(tmp_ / "empty/a/b");
  const std::string good = Make("g/good.txt", "good");
  const std::string badName = Make("bad/what?.txt", "x");
  struct Case {
    const char* what;
    std::vector<std::string> sources;
    std::string archive;
    int code;
  };
  const std::vector<Case> cases = {
      {"no sources", {}, out_ / "a.tvk", 21},
      {"only empty folders", {tmp_ / "empty", tmp_ / "empty/"}, out_ / "a.tvk", 21},
      {"missing source", {good, tmp_ / "missing.txt"}, out_ / "a.tvk", 101},
      {"relative source", {"g/good.txt"}, out_ / "a.tvk", 100},
      {"name an entry cannot hold", {good, tmp_ / "bad"}, out_ / "a.tvk", 103},
      {"empty archive path", {good}, "", 109},
      {"relative archive path", {good}, "out/a.tvk", 100},
      // Names a folder: neither a file "a.tvk" nor a folder of that name may appear.
      {"archive path ending with the separator", {good}, out_ / "new/a.tvk/", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Only the sources count: message lookups read the message file.
    FaultPlan reads(FileOp::OpenRead, 0, {.filter = testing::PathsUnder(tmp_.path())});
    for (bool newArchive : {true, false}) {
      EXPECT_FALSE(CompressAndAdd(context_, {c.sources, c.archive, "", newArchive}).done());
      EXPECT_FALSE(context_.stepOk);
      EXPECT_THAT(Codes(), ElementsAre(c.code)) << context_.errorLog;
    }
    EXPECT_EQ(reads.calls(), 0);
    EXPECT_THAT(FolderNames(out_.path()), IsEmpty());
  }
}

TEST_F(CompressTest, ErrorLogIsClearedWhenARunStarts) {
  ErrorText(context_, ErrorCode::InternalLogic, {"stale"});
  context_.stepOk = false;
  ASSERT_TRUE(CompressAndAdd(context_, {{Make("x", "x")}, out_ / "x.tvk"}).done());
  EXPECT_TRUE(context_.errorLog.empty());
  EXPECT_TRUE(context_.stepOk);
}

// Interrupted at every report, and at every folder of the walk: the old archive stays byte for
// byte, no temporary file is left, and the run ends with 107 alone.
TEST_F(CompressTest, InterruptAtEveryReportLeavesTheArchiveUntouched) {
  const std::string archive = out_ / "i.tvk";
  ASSERT_TRUE(
      CompressAndAdd(context_, {{Make("o/one.txt", "one"), Make("o/two.txt", "two")}, archive})
          .done());
  const std::string before = ReadFile(archive);
  Make("tree/a.txt", "a");
  Make("tree/sub/b.txt", "b");
  Make("tree/sub/deeper/c.txt", "c");
  const std::vector<std::string> sources = {tmp_ / "tree", Make("one.txt", "new one")};

  for (bool newArchive : {false, true}) {
    SCOPED_TRACE(newArchive ? "new archive" : "add");
    int total = 0;
    {
      // Counted on a copy, so the archive under test is never changed.
      const std::string copy = out_ / "copy/i.tvk";
      fs::create_directories(out_ / "copy");
      fs::copy_file(archive, copy);
      RecordingSink counter;
      ASSERT_TRUE(CompressAndAdd(context_, {sources, copy, "", newArchive}, {&counter}).done());
      total = static_cast<int>(counter.records().size());
      EXPECT_EQ(total, newArchive ? 1 + 4 + 4 + 4 + 1 : 1 + 4 + 2 + 5 + 5 + 1);
      EXPECT_EQ(counter.eventCalls(), 3);
      fs::remove_all(out_ / "copy");
    }
    for (int n = 1; n <= total; ++n) {
      SCOPED_TRACE(n);
      RecordingSink sink;
      sink.InterruptAtReport(n);
      EXPECT_FALSE(CompressAndAdd(context_, {sources, archive, "", newArchive}, {&sink}).done());
      EXPECT_THAT(Codes(), ElementsAre(107)) << context_.errorLog;
      EXPECT_EQ(static_cast<int>(sink.records().size()), n);  // stopped at that report
      EXPECT_EQ(ReadFile(archive), before);
      EXPECT_THAT(FolderNames(out_.path()), ElementsAre("i.tvk"));
    }
    for (int n = 1; n <= 3; ++n) {
      SCOPED_TRACE("folder " + std::to_string(n));
      RecordingSink sink;
      sink.InterruptAtEvents(n);
      EXPECT_FALSE(CompressAndAdd(context_, {sources, archive, "", newArchive}, {&sink}).done());
      EXPECT_THAT(Codes(), ElementsAre(107));
      EXPECT_EQ(ReadFile(archive), before);
    }
  }
  EXPECT_THAT(FolderNames(out_.path()), ElementsAre("i.tvk"));
}

TEST_F(CompressTest, WriterFailureKeepsTheOldArchive) {
  const std::string archive = out_ / "w.tvk";
  ASSERT_TRUE(CompressAndAdd(context_, {{Make("w/1", "1")}, archive}).done());
  const std::string before = ReadFile(archive);
  FaultPlan plan(FileOp::Write, 1);
  EXPECT_FALSE(
      CompressAndAdd(context_, {{Make("w/2", std::string(4000, 'x'))}, archive, "", false}).done());
  EXPECT_TRUE(plan.fired());
  EXPECT_THAT(Codes(), ElementsAre(20));
  EXPECT_EQ(ReadFile(archive), before);
  EXPECT_THAT(FolderNames(out_.path()), ElementsAre("w.tvk"));
}

// Workers compute ahead, the calling thread consumes in order: a run on many workers must give
// the archive and the reports of a run on one, byte for byte, also with files larger than the
// read-ahead window and the reused buffers, and in add mode.
TEST_F(CompressTest, ParallelAndSingleWorkerRunsAreIdentical) {
  std::string random(1 << 20, '\0');
  unsigned state = 12345;
  for (char& c : random) c = static_cast<char>((state = state * 1103515245 + 12345) >> 16);
  for (int i = 0; i < 40; ++i) {
    const std::string name = "tree/" + std::to_string(i % 4) + "/f" + std::to_string(i);
    std::string content;
    switch (i % 5) {
      case 0:
        content = "";
        break;
      case 1:
        content = std::string(10 + i, 'x');
        break;  // compresses
      case 2:
        content = random.substr(i * 1000, 700 + i);
        break;  // stays raw
      case 3:
        content = std::string(static_cast<std::size_t>(i) << 14, 'a' + i % 26);
        break;
      default:
        content = random.substr(0, i == 39 ? random.size() : 100);
        break;
    }
    Make(name, content);
  }
  // 9 MiB: past the buffers a worker keeps between files.
  Make("big/large.bin", random + std::string(std::size_t{8} << 20, 'z'));
  const std::vector<std::string> sources = {tmp_ / "tree", tmp_ / "big"};
  const std::string existing = Make("start/one.txt", "one");

  std::vector<std::string> archives;
  std::vector<std::vector<RecordingSink::Record>> reports;
  // The third run keeps no block in memory: every one waits in the scratch file.
  const std::vector<std::pair<unsigned, std::uint64_t>> runs = {
      {1u, context_.blockMemoryBudget}, {4u, context_.blockMemoryBudget}, {4u, 0}};
  for (const auto& [workers, budget] : runs) {
    SCOPED_TRACE(std::to_string(workers) + " workers, budget " + std::to_string(budget));
    context_.workerThreads = workers;
    context_.blockMemoryBudget = budget;
    for (bool newArchive : {true, false}) {
      const std::string archive =
          out_ / (std::to_string(archives.size()) + (newArchive ? "n" : "a"));
      if (!newArchive) {
        ASSERT_TRUE(CompressAndAdd(context_, {{existing}, archive}).done());
      }
      RecordingSink sink;
      ASSERT_TRUE(CompressAndAdd(context_, {sources, archive, "", newArchive}, {&sink}).done())
          << context_.errorLog;
      archives.push_back(ReadFile(archive));
      reports.push_back(sink.records());
    }
  }
  for (std::size_t run = 1; run < runs.size(); ++run) {
    EXPECT_TRUE(archives[0] == archives[2 * run]) << run;      // new archive
    EXPECT_TRUE(archives[1] == archives[2 * run + 1]) << run;  // add
    EXPECT_EQ(reports[0], reports[2 * run]) << run;
    EXPECT_EQ(reports[1], reports[2 * run + 1]) << run;
  }
  // Nothing of the scratch file is left in the archive's folder.
  EXPECT_EQ(FolderNames(out_.path()).size(), 2 * runs.size());
  const auto stored = ReadBack(out_ / "5a");
  ASSERT_EQ(stored.size(), 42u);
  for (const Stored& s : stored) EXPECT_TRUE(s.digestMatches) << s.entry.path;
}

// The first file that fails in collection order is the one reported, however far the workers
// have read ahead, and an encrypted run decodes with its password.
TEST_F(CompressTest, WorkersReportTheFirstFailureInOrderAndEncrypt) {
  context_.workerThreads = 4;
  std::vector<std::string> sources;
  for (int i = 0; i < 12; ++i)
    sources.push_back(Make("e/f" + std::to_string(i), "file " + std::to_string(i)));
  ASSERT_TRUE(CompressAndAdd(context_, {sources, out_ / "e.tvk", "pw"}).done())
      << context_.errorLog;
  const auto stored = ReadBack(out_ / "e.tvk", "pw");
  ASSERT_EQ(stored.size(), 12u);
  for (const Stored& s : stored) {
    EXPECT_TRUE(s.digestMatches) << s.entry.path;
    EXPECT_NE(s.entry.flags & EntryFlags::Encrypted, 0);
  }
  FaultPlan plan(FileOp::OpenRead, 1, {.persistent = true, .filter = [&](const std::string& p) {
                                         return p == sources[5] || p == sources[9];
                                       }});
  RecordingSink sink;
  EXPECT_FALSE(CompressAndAdd(context_, {sources, out_ / "f.tvk"}, {&sink}).done());
  EXPECT_THAT(Codes(), ElementsAre(11));
  EXPECT_NE(context_.errorLog.find(sources[5]), std::string::npos);
  EXPECT_EQ(sink.records().size(), 7u);  // 1, then files 1..6
  EXPECT_FALSE(fs::exists(out_ / "f.tvk"));
}

TEST_F(CompressTest, ArchivesVerifyWithTheIndependentChecker) {
  const std::string checker = std::string(TOVASK_SHARED_TOOLS_DIR) + "/tvkcheck.py";
  if (!fs::exists(checker) || !fs::exists("/usr/bin/python3")) {
    GTEST_SKIP() << "tvkcheck.py or python3 not available";
  }
  Make("V/readme.txt", std::string(3000, 'r') + "end");
  Make("V/.dot", "dot");
  Make("V/empty", "");
  Make("V/sub/\xE4\xB8\xAD\xE6\x96\x87.txt", "chinese name");
  Make("V/sub/noise.bin", std::string("\x01\x02\xFF\x00\x7F", 5));
  for (const std::string password : {"", "p\xC3\xA4ss"}) {
    SCOPED_TRACE(password);
    const std::string archive = out_ / (password.empty() ? "plain.tvk" : "enc.tvk");
    ASSERT_TRUE(CompressAndAdd(context_, {{tmp_ / "V"}, archive, password}).done())
        << context_.errorLog;
    std::vector<std::string> args = {checker, "verify", archive};
    if (!password.empty()) {
      args.push_back("--password");
      args.push_back(password);
    }
    const auto result = testing::RunProcess("/usr/bin/python3", args);
    if (result.err.find("ModuleNotFoundError") != std::string::npos) {
      GTEST_SKIP() << "tvkcheck.py needs python3-zstandard and python3-cryptography";
    }
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("count=5"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("PROBLEM"), std::string::npos) << result.out;
    if (!password.empty()) {
      // And the checker sees the wrong password as MD5 mismatches.
      args.back() = "wrong";
      const auto wrong = testing::RunProcess("/usr/bin/python3", args);
      EXPECT_NE(wrong.exitCode, 0);
      EXPECT_NE(wrong.out.find("MD5 mismatch"), std::string::npos) << wrong.out;
    }
  }
}

}  // namespace
}  // namespace tovask
