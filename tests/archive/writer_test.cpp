#include "archive/writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/reader.h"
#include "core/message_codes.h"
#include "platform/file_handle.h"
#include "platform/text.h"
#include "support/archive_builder.h"
#include "support/archive_fixture.h"
#include "support/fault_plan.h"

namespace tovask {
namespace {

using platform::FileOp;
using testing::ArchiveBuilder;
using ::testing::ElementsAre;
using testing::FaultPlan;
using ::testing::HasSubstr;
using testing::MakeStoredEntry;
using testing::ReportLog;
using testing::StoredEntry;

constexpr const char* kOldContent = "the old archive, which must survive every failure";

class WriterTest : public testing::ArchiveFixture {
 protected:
  // An index in the rebuilt layout, as compression leaves it.
  void FillIndex(const std::vector<StoredEntry>& entries) {
    LoadArchiveIndex(context, index);
    for (const StoredEntry& stored : entries) {
      index.Append(stored.entry);
      index.storedBlocks.push_back(stored.block);
    }
    index.count = static_cast<std::int32_t>(entries.size());
  }

  std::vector<StoredEntry> SampleEntries(int n = 3) {
    std::vector<StoredEntry> entries;
    for (int i = 0; i < n; ++i) {
      const std::string content = i % 3 == 1 ? "" : std::string(40 + i, 'a' + i % 26);
      entries.push_back(MakeStoredEntry(context.dataOps, "dir\\file" + std::to_string(i) + ".txt",
                                        content, "", testing::kExampleTime + i,
                                        static_cast<std::uint8_t>(EntryFlags::Archive | (i & 7))));
    }
    return entries;
  }

  bool Write(const std::string& path, WriteOptions options = {}) {
    ClearErrorLog(context);
    context.stepOk = true;
    return WriteArchive(context, index, path, options);
  }

  // Writes the old archive's stand-in content and returns its path.
  std::string OldArchive() {
    const std::string path = ArchivePath();
    testing::WriteFile(path, kOldContent);
    return path;
  }

  // The old archive untouched and nothing else in its folder.
  void ExpectUntouched(const std::string& path, const std::string& what) {
    EXPECT_EQ(testing::ReadFile(path), kOldContent) << what;
    EXPECT_THAT(WorkFolderNames(), ElementsAre(std::filesystem::path(path).filename().string()))
        << what;
  }

  // Loads path into a fresh index with the given mode.
  ArchiveIndex Reload(const std::string& path, LoadMode mode) {
    ArchiveIndex loaded;
    LoadOptions options;
    options.mode = mode;
    EXPECT_TRUE(LoadArchiveIndex(context, loaded, path, options)) << context.errorLog;
    return loaded;
  }
};

TEST_F(WriterTest, RebuiltLayoutRoundTripsEveryColumnAndBlock) {
  const auto entries = SampleEntries(7);
  FillIndex(entries);
  const std::string path = ArchivePath();
  ASSERT_TRUE(Write(path)) << context.errorLog;
  EXPECT_TRUE(context.stepOk);

  const ArchiveIndex loaded = Reload(path, LoadMode::WithBlocks);
  ASSERT_EQ(loaded.count, 7);
  std::int32_t offset = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    ArchiveEntry expected = entries[i].entry;
    expected.dataOffset = offset;
    offset += expected.storedSize;
    EXPECT_EQ(loaded.Entry(i), expected) << i;
    EXPECT_EQ(loaded.storedBlocks[i], entries[i].block) << i;
  }
  EXPECT_EQ(index.dataAreaStart, loaded.dataAreaStart);
  EXPECT_EQ(static_cast<std::int64_t>(std::filesystem::file_size(path)),
            loaded.dataAreaStart + offset);
}

TEST_F(WriterTest, RebuiltOffsetsFollowTheStoredSizes) {
  std::vector<StoredEntry> entries;
  for (const auto& [name, content] : std::vector<std::pair<std::string, std::string>>{
           {"a", "12345"}, {"b", ""}, {"c", "abcdefg"}}) {
    StoredEntry stored = MakeStoredEntry(context.dataOps, name, content);
    stored.entry.dataOffset = 999;  // stale offsets are replaced
    entries.push_back(stored);
  }
  FillIndex(entries);
  const std::string path = ArchivePath();
  ASSERT_TRUE(Write(path)) << context.errorLog;
  const ArchiveIndex loaded = Reload(path, LoadMode::WithDataArea);
  EXPECT_THAT(loaded.storedSizes, ElementsAre(5, 0, 7));
  EXPECT_THAT(loaded.dataOffsets, ElementsAre(0, 5, 5));
  EXPECT_EQ(ToText(loaded.dataArea), "12345abcdefg");
}

TEST_F(WriterTest, TwoEntryArchiveStartsWithTheHeaderAndCount) {
  FillIndex(SampleEntries(2));
  const std::string path = ArchivePath();
  ASSERT_TRUE(Write(path));
  const std::string bytes = testing::ReadFile(path);
  EXPECT_EQ(bytes.substr(0, 13), std::string("RID 1.05\0\x02\0\0\0", 13));
}

TEST_F(WriterTest, CarriedOverLayoutKeepsTheDataAreaAndOffsetsByteForByte) {
  // A data area with a gap and bytes no entry names, as an older writer might leave it.
  const Bytes area = ToBytes("--abc--defgh-");
  std::vector<ArchiveEntry> records(2);
  records[0] = MakeStoredEntry(context.dataOps, "x.txt", "abc").entry;
  records[0].dataOffset = 2;
  records[1] = MakeStoredEntry(context.dataOps, "y.txt", "defgh").entry;
  records[1].dataOffset = 7;
  const std::string source = ArchivePath("source.tvk");
  ArchiveBuilder(context.dataOps)
      .Record(records[0])
      .Record(records[1])
      .DataArea(area)
      .WriteTo(source);

  LoadOptions options;
  options.mode = LoadMode::WithDataArea;
  ASSERT_TRUE(LoadArchiveIndex(context, index, source, options));
  index.paths[1] = "renamed\\y.txt";  // what a rename changes
  const std::string path = ArchivePath();
  ASSERT_TRUE(Write(path)) << context.errorLog;

  const ArchiveIndex loaded = Reload(path, LoadMode::WithDataArea);
  EXPECT_EQ(loaded.dataArea, area);
  EXPECT_THAT(loaded.dataOffsets, ElementsAre(2, 7));
  EXPECT_THAT(loaded.paths, ElementsAre("x.txt", "renamed\\y.txt"));
  const std::string bytes = testing::ReadFile(path);
  EXPECT_EQ(bytes.substr(bytes.size() - area.size()), ToText(area));
  EXPECT_EQ(static_cast<std::size_t>(loaded.dataAreaStart), bytes.size() - area.size());
}

TEST_F(WriterTest, CarriedOverEmptyDataAreaStaysEmpty) {
  FillIndex(
      {MakeStoredEntry(context.dataOps, "e1", ""), MakeStoredEntry(context.dataOps, "e2", "")});
  const std::string path = ArchivePath();
  ASSERT_TRUE(Write(path));
  LoadOptions options;
  options.mode = LoadMode::WithDataArea;
  ASSERT_TRUE(LoadArchiveIndex(context, index, path, options));
  ASSERT_TRUE(index.carriesDataArea);
  index.paths[0] = "E1 renamed";
  ASSERT_TRUE(Write(path)) << context.errorLog;
  const ArchiveIndex loaded = Reload(path, LoadMode::WithDataArea);
  EXPECT_TRUE(loaded.dataArea.empty());
  EXPECT_EQ(static_cast<std::int64_t>(std::filesystem::file_size(path)), loaded.dataAreaStart);
  EXPECT_THAT(loaded.paths, ElementsAre("E1 renamed", "e2"));
}

TEST_F(WriterTest, EntryWithEmptyPathIsWrittenWithItsBlock) {
  auto entries = SampleEntries(3);
  entries[0].entry.path = "";
  FillIndex(entries);
  const std::string path = ArchivePath();
  ASSERT_TRUE(Write(path)) << context.errorLog;
  const ArchiveIndex loaded = Reload(path, LoadMode::WithBlocks);
  ASSERT_EQ(loaded.count, 3);
  EXPECT_EQ(loaded.paths[0], "");
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(loaded.storedBlocks[i], entries[i].block) << i;
}

TEST_F(WriterTest, CountZeroIsWrittenAndThenRefusedByTheReader) {
  FillIndex({});
  const std::string path = ArchivePath();
  ReportLog sink;
  WriteOptions options;
  options.sink = &sink;
  ASSERT_TRUE(Write(path, options)) << context.errorLog;
  EXPECT_EQ(testing::ReadFile(path), std::string("RID 1.05\0\0\0\0\0", 13));
  EXPECT_THAT(sink.Percents(), ElementsAre(100));
  ArchiveIndex loaded;
  EXPECT_FALSE(LoadArchiveIndex(context, loaded, path));
  EXPECT_THAT(Codes(), ElementsAre(53));
}

// Columns of unequal length: nothing is created and the old archive stays as it was.
TEST_F(WriterTest, ColumnsOfUnequalLengthAreInternalErrorsAndWriteNothing) {
  struct Case {
    const char* name;
    const char* number;
    bool carried;
    void (*damage)(ArchiveIndex&);
  };
  const std::vector<Case> cases = {
      {"paths", "1011", false, [](ArchiveIndex& i) { i.paths.pop_back(); }},
      {"originalSizes", "1011", false, [](ArchiveIndex& i) { i.originalSizes.push_back(1); }},
      {"times", "1011", false, [](ArchiveIndex& i) { i.times.pop_back(); }},
      {"flags", "1011", true, [](ArchiveIndex& i) { i.flags.pop_back(); }},
      {"md5Texts", "1011", false, [](ArchiveIndex& i) { i.md5Texts.pop_back(); }},
      {"storedSizes", "1011", true, [](ArchiveIndex& i) { i.storedSizes.pop_back(); }},
      {"count", "1011", false, [](ArchiveIndex& i) { i.count += 1; }},
      {"negative count", "1011", false, [](ArchiveIndex& i) { i.count = -1; }},
      {"storedBlocks", "1012", false, [](ArchiveIndex& i) { i.storedBlocks.pop_back(); }},
      {"stored size differs from its block", "1012", false,
       [](ArchiveIndex& i) { i.storedSizes[0] += 1; }},
      {"negative stored size", "1012", false, [](ArchiveIndex& i) { i.storedSizes[1] = -1; }},
      {"dataOffsets", "1013", true, [](ArchiveIndex& i) { i.dataOffsets.pop_back(); }},
  };
  const std::string path = OldArchive();
  for (const Case& c : cases) {
    FillIndex(SampleEntries(3));
    index.carriesDataArea = c.carried;
    c.damage(index);
    FaultPlan creates(FileOp::CreateTemp, 0);
    EXPECT_FALSE(Write(path)) << c.name;
    EXPECT_FALSE(context.stepOk);
    EXPECT_THAT(Codes(), ElementsAre(99)) << c.name;
    EXPECT_THAT(context.errorLog, HasSubstr(std::string("错误编号：") + c.number)) << c.name;
    EXPECT_EQ(creates.calls(), 0) << c.name;
    ExpectUntouched(path, c.name);
  }
}

TEST_F(WriterTest, OffsetsPastTwoGibibytesAreRefusedBeforeAnythingIsCreated) {
  const std::string path = OldArchive();
  struct Case {
    const char* name;
    std::int32_t offset;
    std::int32_t storedSize;
  };
  for (const Case& c :
       {Case{"end one past the limit", 0x7FFFFFFF - 2, 3},
        Case{"offset at the limit", 0x7FFFFFFF, 1}, Case{"size at the limit", 1, 0x7FFFFFFF}}) {
    FillIndex(SampleEntries(2));
    index.carriesDataArea = true;
    index.dataOffsets[1] = c.offset;
    index.storedSizes[1] = c.storedSize;
    FaultPlan creates(FileOp::CreateTemp, 0);
    EXPECT_FALSE(Write(path)) << c.name;
    EXPECT_THAT(Codes(), ElementsAre(105)) << c.name;
    EXPECT_EQ(creates.calls(), 0);
    ExpectUntouched(path, c.name);
  }
  // The largest end that fits is written.
  FillIndex(SampleEntries(1));
  index.carriesDataArea = true;
  index.dataOffsets[0] = 0x7FFFFFFF - 10;
  index.storedSizes[0] = 10;
  EXPECT_TRUE(Write(path)) << context.errorLog;
}

TEST_F(WriterTest, RelativePathIsRefused) {
  FillIndex(SampleEntries(1));
  FaultPlan creates(FileOp::CreateTemp, 0);
  EXPECT_FALSE(Write("relative.tvk"));
  EXPECT_THAT(Codes(), ElementsAre(100));
  EXPECT_EQ(creates.calls(), 0);
}

TEST_F(WriterTest, TemporaryFileThatCannotBeCreatedIsEighteenThenTwenty) {
  const std::string path = OldArchive();
  FillIndex(SampleEntries(2));
  ReportLog sink;
  WriteOptions options;
  options.sink = &sink;
  FaultPlan plan(FileOp::CreateTemp, 1);
  EXPECT_FALSE(Write(path, options));
  EXPECT_THAT(Codes(), ElementsAre(18, 20));
  // The closing report is made whether or not the write succeeded.
  ASSERT_FALSE(sink.reports.empty());
  EXPECT_EQ(sink.reports.back(), std::make_pair(100, std::string("压缩文件完成！")));
  ExpectUntouched(path, "create");
}

TEST_F(WriterTest, EveryFailingWriteLeavesTheOldArchiveAndNoTemporaryFile) {
  const std::string path = OldArchive();
  int writes = 0;
  {
    FillIndex(SampleEntries(4));
    FaultPlan counter(FileOp::Write, 0);
    const std::string scratch = ArchivePath("scratch.tvk");
    ASSERT_TRUE(Write(scratch));
    writes = counter.calls();
    std::filesystem::remove(scratch);
  }
  // Header and index in one write, then one write per non-empty block (one entry is empty).
  ASSERT_EQ(writes, 4);
  for (const bool persistent : {false, true}) {
    for (int n = 1; n <= writes; ++n) {
      FillIndex(SampleEntries(4));
      FaultPlan::Options fault;
      fault.errorNumber = ENOSPC;
      fault.persistent = persistent;
      FaultPlan plan(FileOp::Write, n, fault);
      EXPECT_FALSE(Write(path)) << n;
      EXPECT_TRUE(plan.fired());
      EXPECT_THAT(Codes(), ElementsAre(20)) << n;
      ExpectUntouched(path, "write " + std::to_string(n));
    }
  }
}

TEST_F(WriterTest, FailingWriteOfACarriedOverDataAreaLeavesTheOldArchive) {
  const std::string path = OldArchive();
  for (int n = 1; n <= 2; ++n) {
    FillIndex(SampleEntries(3));
    index.dataArea = ToBytes("carried data area");
    index.carriesDataArea = true;
    FaultPlan plan(FileOp::Write, n);
    EXPECT_FALSE(Write(path)) << n;
    EXPECT_TRUE(plan.fired());
    EXPECT_THAT(Codes(), ElementsAre(20));
    ExpectUntouched(path, "carried write " + std::to_string(n));
  }
}

TEST_F(WriterTest, SyncAndModeFailuresAreWriteFailures) {
  const std::string path = OldArchive();
  for (const FileOp op : {FileOp::Sync, FileOp::SetMode}) {
    FillIndex(SampleEntries(2));
    FaultPlan plan(op, 1);
    EXPECT_FALSE(Write(path));
    EXPECT_TRUE(plan.fired());
    EXPECT_THAT(Codes(), ElementsAre(20)) << static_cast<int>(op);
    ExpectUntouched(path, "sync/mode");
  }
}

TEST_F(WriterTest, RefusedRenameIsNineteenWithTheUpperCasePath) {
  const std::string path = OldArchive();
  FillIndex(SampleEntries(2));
  FaultPlan plan(FileOp::Rename, 1);
  EXPECT_FALSE(Write(path));
  EXPECT_THAT(Codes(), ElementsAre(19));
  EXPECT_THAT(context.errorLog, HasSubstr("覆盖文件 " + platform::AsciiUpper(path) + " 失败"));
  ExpectUntouched(path, "rename");
}

TEST_F(WriterTest, ReplacedArchiveKeepsItsPermissionBits) {
  const std::string path = OldArchive();
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  FillIndex(SampleEntries(2));
  ASSERT_TRUE(Write(path)) << context.errorLog;
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_NE(testing::ReadFile(path), kOldContent);
}

TEST_F(WriterTest, NewArchiveGetsTheUmaskPermissions) {
  const mode_t old = umask(027);
  FillIndex(SampleEntries(1));
  const std::string path = ArchivePath("new.tvk");
  const bool ok = Write(path);
  umask(old);
  ASSERT_TRUE(ok) << context.errorLog;
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_THAT(WorkFolderNames(), ElementsAre("new.tvk"));
}

TEST_F(WriterTest, SymbolicLinkAtTheArchivePathStillPointsAtTheNewArchive) {
  const std::string realFolder = work / "real";
  std::filesystem::create_directory(realFolder);
  const std::string target = realFolder + "/target.tvk";
  testing::WriteFile(target, kOldContent);
  const std::string link = ArchivePath("link.tvk");
  std::filesystem::create_symlink("real/target.tvk", link);

  FillIndex(SampleEntries(2));
  ASSERT_TRUE(Write(link)) << context.errorLog;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(std::filesystem::read_symlink(link), "real/target.tvk");
  const ArchiveIndex loaded = Reload(target, LoadMode::IndexOnly);
  EXPECT_EQ(loaded.count, 2);
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(realFolder)) {
    names.push_back(item.path().filename().string());
  }
  EXPECT_THAT(names, ElementsAre("target.tvk"));
  EXPECT_THAT(WorkFolderNames(), ElementsAre("link.tvk", "real"));
}

TEST_F(WriterTest, ProgressPercentsAndTextsOfTheAddBand) {
  FillIndex(SampleEntries(10));
  ReportLog sink;
  WriteOptions options;
  options.sink = &sink;
  options.progressBase = 75;
  options.progressSpan = 25;
  ASSERT_TRUE(Write(ArchivePath(), options)) << context.errorLog;
  EXPECT_THAT(sink.Percents(), ElementsAre(76, 77, 78, 80, 81, 82, 83, 85, 86, 87,  //
                                           88, 89, 90, 92, 93, 94, 95, 97, 98, 99,  //
                                           100));
  ASSERT_EQ(sink.reports.size(), 21u);
  for (int i = 0; i < 10; ++i) {
    const std::string counter = "[" + std::to_string(i + 1) + "/10]";
    EXPECT_EQ(sink.reports[i].second, "正在准备写出数据..." + counter);
    EXPECT_EQ(sink.reports[10 + i].second, "正在写出数据..." + counter);
  }
  EXPECT_EQ(sink.reports[20].second, "压缩文件完成！");
}

TEST_F(WriterTest, ProgressOfTheDeleteBandAndOfTheCarriedOverLayout) {
  FillIndex(SampleEntries(3));
  ReportLog sink;
  WriteOptions options;
  options.sink = &sink;
  options.progressBase = 40;
  options.progressSpan = 60;
  ASSERT_TRUE(Write(ArchivePath(), options));
  EXPECT_THAT(sink.Percents(), ElementsAre(50, 60, 70, 80, 90, 100, 100));

  // Carried over: the data area goes in one piece, with no report per block.
  LoadOptions load;
  load.mode = LoadMode::WithDataArea;
  ASSERT_TRUE(LoadArchiveIndex(context, index, ArchivePath(), load));
  ReportLog carried;
  options.sink = &carried;
  ASSERT_TRUE(Write(ArchivePath(), options));
  EXPECT_THAT(carried.Percents(), ElementsAre(50, 60, 70, 100));
}

TEST_F(WriterTest, WithoutASinkNothingIsReported) {
  FillIndex(SampleEntries(2));
  EXPECT_TRUE(Write(ArchivePath()));
}

TEST_F(WriterTest, InterruptAtAnyReportLeavesTheOldArchiveAndNoTemporaryFile) {
  const std::string path = OldArchive();
  constexpr int kReports = 2 * 5 + 1;
  for (int n = 1; n <= kReports; ++n) {
    FillIndex(SampleEntries(5));
    ReportLog sink(n);
    WriteOptions options;
    options.sink = &sink;
    EXPECT_FALSE(Write(path, options)) << n;
    EXPECT_THAT(Codes(), ElementsAre(107)) << n << "\n" << context.errorLog;
    EXPECT_EQ(sink.reports.size(), static_cast<std::size_t>(n)) << "stops at the interrupt";
    ExpectUntouched(path, "interrupt " + std::to_string(n));
  }
}

TEST_F(WriterTest, FailedWriteDoesNotReportAnInterruptAtTheClosingReport) {
  const std::string path = OldArchive();
  FillIndex(SampleEntries(1));
  ReportLog sink(3);  // the closing report, after the data write failed
  WriteOptions options;
  options.sink = &sink;
  FaultPlan plan(FileOp::Write, 2);
  EXPECT_FALSE(Write(path, options));
  EXPECT_THAT(Codes(), ElementsAre(20));
  ExpectUntouched(path, "failed then interrupted");
}

TEST_F(WriterTest, ReplacesAnExistingArchiveAndSetsTheDataAreaStart) {
  const std::string path = ArchivePath();
  FillIndex(SampleEntries(4));
  ASSERT_TRUE(Write(path));
  FillIndex(SampleEntries(2));
  ASSERT_TRUE(Write(path));
  const ArchiveIndex loaded = Reload(path, LoadMode::IndexOnly);
  EXPECT_EQ(loaded.count, 2);
  EXPECT_EQ(index.dataAreaStart, loaded.dataAreaStart);
  EXPECT_THAT(WorkFolderNames(), ElementsAre("test.tvk"));
}

}  // namespace
}  // namespace tovask
