#include "archive/reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "core/message_codes.h"
#include "platform/file_handle.h"
#include "platform/text.h"
#include "support/archive_builder.h"
#include "support/archive_fixture.h"
#include "support/fault_plan.h"

namespace tovask {
namespace {

using testing::ArchiveBuilder;
using ::testing::ElementsAre;
using testing::FaultPlan;
using ::testing::HasSubstr;
using testing::Int32Bytes;
using testing::MakeStoredEntry;
using testing::ReportLog;
using testing::StoredEntry;

class ReaderTest : public testing::ArchiveFixture {
 protected:
  // Three entries: a compressible text, an empty file, and a short one with other attributes.
  std::vector<StoredEntry> SampleEntries() {
    return {MakeStoredEntry(context.dataOps, "docs\\Read Me.txt", std::string(300, 'x')),
            MakeStoredEntry(context.dataOps, "empty.bin", ""),
            MakeStoredEntry(context.dataOps, "a\\b.txt", "abc", "", testing::kExampleTime + 1,
                            EntryFlags::ReadOnly | EntryFlags::Hidden)};
  }

  std::string WriteSample(const std::string& name = "test.tvk") {
    ArchiveBuilder builder(context.dataOps);
    for (const auto& stored : SampleEntries()) builder.Entry(stored);
    builder.WriteTo(ArchivePath(name));
    return ArchivePath(name);
  }

  bool Load(const std::string& path, LoadOptions options = {}) {
    ClearErrorLog(context);
    context.stepOk = true;
    return LoadArchiveIndex(context, index, path, options);
  }

  void ExpectEmptyIndex() {
    EXPECT_EQ(index.count, 0);
    EXPECT_TRUE(index.paths.empty());
    EXPECT_TRUE(index.originalSizes.empty());
    EXPECT_TRUE(index.times.empty());
    EXPECT_TRUE(index.flags.empty());
    EXPECT_TRUE(index.md5Texts.empty());
    EXPECT_TRUE(index.storedSizes.empty());
    EXPECT_TRUE(index.dataOffsets.empty());
    EXPECT_TRUE(index.storedBlocks.empty());
    EXPECT_TRUE(index.dataArea.empty());
    EXPECT_FALSE(index.carriesDataArea);
  }
};

TEST_F(ReaderTest, LoadsEveryColumnInFileOrder) {
  const auto entries = SampleEntries();
  const std::string path = WriteSample();
  ASSERT_TRUE(Load(path)) << context.errorLog;
  EXPECT_TRUE(context.stepOk);
  ASSERT_EQ(index.count, 3);
  std::int32_t offset = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    ArchiveEntry expected = entries[i].entry;
    expected.dataOffset = offset;
    offset += expected.storedSize;
    EXPECT_EQ(index.Entry(i), expected) << i;
  }
  // Header (9) + count (4) + three index blocks, each 4 + its length.
  const Bytes file = ToBytes(testing::ReadFile(path));
  EXPECT_EQ(index.dataAreaStart, static_cast<std::int64_t>(file.size()) - offset);
}

TEST_F(ReaderTest, MissingFileIsErrorTwoWithTheUpperCasePath) {
  const std::string path = ArchivePath("Missing Photos.tvk");
  EXPECT_FALSE(Load(path));
  EXPECT_FALSE(context.stepOk);
  EXPECT_THAT(Codes(), ElementsAre(2));
  EXPECT_THAT(context.errorLog, HasSubstr(platform::AsciiUpper(path)));
  EXPECT_THAT(context.errorLog, HasSubstr("MISSING PHOTOS.TVK"));
  ExpectEmptyIndex();
}

TEST_F(ReaderTest, RelativePathIsRefusedWithoutOpeningAnything) {
  FaultPlan::Options onlyArchives;
  onlyArchives.filter = testing::PathsUnder(work.path());
  FaultPlan opens(platform::FileOp::OpenRead, 0, onlyArchives);
  WriteSample();
  EXPECT_FALSE(Load("test.tvk"));
  EXPECT_THAT(Codes(), ElementsAre(100));
  EXPECT_EQ(opens.calls(), 0);
}

// A change holding the archive makes a load say why it cannot read (2, then 112); another
// reader's shared hold does not stand in the way.
TEST_F(ReaderTest, ArchiveHeldByAChangeIsBusyButReadersShare) {
  const std::string path = WriteSample();
  auto change = platform::File::OpenLocked(path, platform::LockKind::Exclusive);
  ASSERT_TRUE(change.has_value());
  EXPECT_FALSE(Load(path));
  EXPECT_THAT(Codes(), ElementsAre(2, 112));
  change->Close();
  auto reader = platform::File::OpenLocked(path, platform::LockKind::Shared);
  ASSERT_TRUE(reader.has_value());
  EXPECT_TRUE(Load(path)) << context.errorLog;
}

TEST_F(ReaderTest, ReadErrorsAreErrorTwo) {
  const std::string path = WriteSample();
  for (const auto op :
       {platform::FileOp::OpenRead, platform::FileOp::Lock, platform::FileOp::Read}) {
    FaultPlan plan(op, 1);
    EXPECT_FALSE(Load(path));
    EXPECT_THAT(Codes(), ElementsAre(2)) << static_cast<int>(op);
    EXPECT_TRUE(plan.fired());
    ExpectEmptyIndex();
  }
}

// Damaged structures, each reported as 53 with the path, in every load mode.
TEST_F(ReaderTest, DamagedStructuresAreErrorFiftyThree) {
  DataOps& ops = context.dataOps;
  const StoredEntry sample = MakeStoredEntry(ops, "a.txt", "abc");
  const Bytes record = EncodeEntryRecord(sample.entry, 0);
  Bytes cutRecord(record.begin(), record.end() - 3);
  Bytes longRecord = record;
  longRecord.push_back(0x01);
  ArchiveEntry nanTime = sample.entry;
  nanTime.time = std::numeric_limits<double>::quiet_NaN();
  const Bytes garbage = ToBytes("this is not a zstd frame");

  struct Case {
    const char* name;
    Bytes bytes;
  };
  const std::vector<Case> cases = {
      {"empty file", {}},
      {"plain text without 0x00", ToBytes("just a text file\r\nwith lines\r\n")},
      {"header only", ArchiveBuilder(ops).OmitCount().Build()},
      {"ends inside the count",
       [&] {
         Bytes b = ArchiveBuilder(ops).OmitCount().Build();
         b.push_back(0x02);
         b.push_back(0x00);
         return b;
       }()},
      {"count 0 with a sound index", ArchiveBuilder(ops).Entry(sample).Count(0).Build()},
      {"count 0, nothing after it", ArchiveBuilder(ops).Build()},
      {"count negative", ArchiveBuilder(ops).Entry(sample).Count(-1).Build()},
      {"count huge, small file", ArchiveBuilder(ops).Entry(sample).Count(0x7FFFFFFF).Build()},
      {"count one more than the blocks", ArchiveBuilder(ops).Entry(sample).Count(2).Build()},
      {"block length negative",
       ArchiveBuilder(ops).RawIndexBlock(ops.Compress(record), -5).Build()},
      {"block length past the end",
       ArchiveBuilder(ops).RawIndexBlock(ops.Compress(record), 100000).Build()},
      {"block length 0x7FFFFFFF",
       ArchiveBuilder(ops).RawIndexBlock(ops.Compress(record), 0x7FFFFFFF).Build()},
      {"block cut by the end of the file",
       [&] {
         Bytes b = ArchiveBuilder(ops).RawRecord(record).Build();
         b.resize(b.size() - 2);
         return b;
       }()},
      {"empty index block", ArchiveBuilder(ops).RawIndexBlock({}).Build()},
      {"record that does not decompress", ArchiveBuilder(ops).RawIndexBlock(garbage).Build()},
      {"record whose fields run past its end", ArchiveBuilder(ops).RawRecord(cutRecord).Build()},
      {"record with bytes left over", ArchiveBuilder(ops).RawRecord(longRecord).Build()},
      {"record without any 0x00",
       ArchiveBuilder(ops).RawRecord(ToBytes("abcdefghijklmnopqrstuvwxyz")).Build()},
      {"record with a NaN time", ArchiveBuilder(ops).Record(nanTime).Build()},
      {"second record damaged", ArchiveBuilder(ops).Entry(sample).RawRecord(cutRecord).Build()},
      {"bad magic without a count", ArchiveBuilder(ops).Header("XYZ 1.05").OmitCount().Build()},
  };
  for (const auto mode : {LoadMode::IndexOnly, LoadMode::WithBlocks, LoadMode::WithDataArea}) {
    for (const Case& c : cases) {
      const std::string path = ArchivePath("damaged.tvk");
      testing::WriteFile(path, ToText(c.bytes));
      LoadOptions options;
      options.mode = mode;
      EXPECT_FALSE(Load(path, options)) << c.name;
      EXPECT_THAT(Codes(), ElementsAre(53)) << c.name << " mode " << static_cast<int>(mode) << "\n"
                                            << context.errorLog;
      EXPECT_THAT(context.errorLog, HasSubstr(platform::AsciiUpper(path))) << c.name;
      ExpectEmptyIndex();
    }
  }
}

TEST_F(ReaderTest, HeaderWithoutTheMagicIsErrorFiftyOne) {
  const StoredEntry sample = MakeStoredEntry(context.dataOps, "a.txt", "abc");
  for (const std::string header : {"XYZ 1.05", "rid 1.05", "RI", "",
                                   "R\x01"
                                   "D 1.05"}) {
    const std::string path = ArchivePath("other.tvk");
    ArchiveBuilder(context.dataOps).Header(header).Entry(sample).WriteTo(path);
    EXPECT_FALSE(Load(path)) << header;
    EXPECT_THAT(Codes(), ElementsAre(51)) << header << "\n" << context.errorLog;
    EXPECT_THAT(context.errorLog,
                HasSubstr(platform::AsciiUpper(path) + " 不是一个有效的RID压缩包"));
    ExpectEmptyIndex();
  }
}

TEST_F(ReaderTest, OtherVersionIsErrorFiftyTwoWithTheHeaderText) {
  const StoredEntry sample = MakeStoredEntry(context.dataOps, "a.txt", "abc");
  for (const std::string header : {"RID 1.04", "RID1.05", "RID 1.050", "RID"}) {
    const std::string path = ArchivePath("old.tvk");
    ArchiveBuilder(context.dataOps).Header(header).Entry(sample).WriteTo(path);
    EXPECT_FALSE(Load(path)) << header;
    EXPECT_THAT(Codes(), ElementsAre(52)) << header;
    EXPECT_THAT(context.errorLog, HasSubstr(platform::AsciiUpper(path) + " 是" + header +
                                            "版压缩包，而本程序只支持RID1.05版压缩包"))
        << context.errorLog;
  }
}

TEST_F(ReaderTest, HeaderLongerThanEightBytesWithMagicAndVersionIsAccepted) {
  const StoredEntry sample = MakeStoredEntry(context.dataOps, "a.txt", "abc");
  for (const std::string header : {"RID  and more 1.05", "RIDxx 1.05", "RID 1.05", "RID  1.05 "}) {
    const std::string path = ArchivePath("long.tvk");
    ArchiveBuilder(context.dataOps).Header(header).Entry(sample).WriteTo(path);
    EXPECT_TRUE(Load(path)) << header << ": " << context.errorLog;
    EXPECT_EQ(index.count, 1);
    EXPECT_EQ(index.dataAreaStart, static_cast<std::int64_t>(testing::ReadFile(path).size()) - 3);
  }
}

TEST_F(ReaderTest, StoredBlockOutsideTheFileIsErrorFiftyFourOnlyWhenBlocksAreLoaded) {
  DataOps& ops = context.dataOps;
  StoredEntry sample = MakeStoredEntry(ops, "a.txt", "abcdef");
  struct Case {
    const char* name;
    std::int32_t storedSize;
    std::int32_t dataOffset;
  };
  const std::vector<Case> cases = {
      {"one byte past the end", 7, 0},     {"offset past the end", 1, 6},
      {"negative offset", 2, -1},          {"negative stored size", -1, 0},
      {"huge stored size", 0x7FFFFFFF, 0}, {"huge offset", 1, 0x7FFFFFFF},
  };
  for (const Case& c : cases) {
    ArchiveEntry entry = sample.entry;
    entry.storedSize = c.storedSize;
    entry.dataOffset = c.dataOffset;
    const std::string path = ArchivePath("short.tvk");
    ArchiveBuilder(ops).Record(entry).DataArea(sample.block).WriteTo(path);
    LoadOptions blocks;
    blocks.mode = LoadMode::WithBlocks;
    EXPECT_FALSE(Load(path, blocks)) << c.name;
    EXPECT_THAT(Codes(), ElementsAre(54)) << c.name;
    EXPECT_THAT(context.errorLog, HasSubstr(platform::AsciiUpper(path) + " 异常结束"));
    ExpectEmptyIndex();
    // Listing and extraction judge blocks per entry; the index itself is sound.
    EXPECT_TRUE(Load(path)) << c.name;
    LoadOptions area;
    area.mode = LoadMode::WithDataArea;
    EXPECT_TRUE(Load(path, area)) << c.name;
    EXPECT_EQ(index.dataArea, sample.block);
  }
}

TEST_F(ReaderTest, ExclusionsCompareInUpperCase) {
  const std::string path = WriteSample();
  const auto entries = SampleEntries();
  LoadOptions options;
  options.mode = LoadMode::WithBlocks;
  options.exclusions = {"A\\B.TXT", "not in the archive"};
  ASSERT_TRUE(Load(path, options)) << context.errorLog;
  EXPECT_EQ(index.count, 2);
  EXPECT_THAT(index.paths, ElementsAre("docs\\Read Me.txt", "empty.bin"));
  ASSERT_EQ(index.storedBlocks.size(), 2u);
  EXPECT_EQ(index.storedBlocks[0], entries[0].block);
  EXPECT_EQ(index.storedBlocks[1], entries[1].block);

  options.exclusions = {"DOCS\\read me.TXT"};
  ASSERT_TRUE(Load(path, options));
  EXPECT_THAT(index.paths, ElementsAre("empty.bin", "a\\b.txt"));
  EXPECT_EQ(index.storedBlocks[1], entries[2].block);
}

TEST_F(ReaderTest, ExcludingEveryEntrySucceedsWithCountZero) {
  const std::string path = WriteSample();
  for (const auto mode : {LoadMode::IndexOnly, LoadMode::WithBlocks}) {
    LoadOptions options;
    options.mode = mode;
    options.exclusions = {"a\\B.txt", "EMPTY.BIN", "docs\\read me.txt"};
    ASSERT_TRUE(Load(path, options)) << context.errorLog;
    EXPECT_TRUE(context.stepOk);
    ExpectEmptyIndex();
  }
}

TEST_F(ReaderTest, ModesLoadBlocksOrTheDataAreaAndALaterIndexOnlyLoadDropsThem) {
  const std::string path = WriteSample();
  const auto entries = SampleEntries();
  Bytes dataArea;
  for (const auto& stored : entries)
    dataArea.insert(dataArea.end(), stored.block.begin(), stored.block.end());

  LoadOptions blocks;
  blocks.mode = LoadMode::WithBlocks;
  ASSERT_TRUE(Load(path, blocks));
  ASSERT_EQ(index.storedBlocks.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(index.storedBlocks[i], entries[i].block);
  EXPECT_TRUE(index.dataArea.empty());
  EXPECT_FALSE(index.carriesDataArea);

  ASSERT_TRUE(Load(path));
  EXPECT_TRUE(index.storedBlocks.empty());
  EXPECT_TRUE(index.dataArea.empty());

  LoadOptions area;
  area.mode = LoadMode::WithDataArea;
  ASSERT_TRUE(Load(path, area));
  EXPECT_EQ(index.dataArea, dataArea);
  EXPECT_TRUE(index.carriesDataArea);
  EXPECT_TRUE(index.storedBlocks.empty());

  ASSERT_TRUE(Load(path));
  EXPECT_TRUE(index.dataArea.empty());
  EXPECT_FALSE(index.carriesDataArea);
  EXPECT_EQ(index.count, 3);
}

TEST_F(ReaderTest, DataAreaIncludesBytesNoEntryNames) {
  const StoredEntry sample = MakeStoredEntry(context.dataOps, "a.txt", "abc");
  const std::string path = ArchivePath();
  ArchiveBuilder(context.dataOps).Entry(sample).Trailer(ToBytes("tail")).WriteTo(path);
  LoadOptions area;
  area.mode = LoadMode::WithDataArea;
  ASSERT_TRUE(Load(path, area));
  EXPECT_EQ(ToText(index.dataArea), "abctail");
}

TEST_F(ReaderTest, ProgressReportsOnePercentPerEntryAlsoForExcludedOnes) {
  ArchiveBuilder builder(context.dataOps);
  for (const char* name : {"one", "two", "three", "four"}) {
    builder.Entry(MakeStoredEntry(context.dataOps, name, name));
  }
  const std::string path = ArchivePath();
  builder.WriteTo(path);
  for (const std::vector<std::string>& exclusions :
       {std::vector<std::string>{}, std::vector<std::string>{"TWO", "four"}}) {
    ReportLog sink;
    LoadOptions options;
    options.exclusions = exclusions;
    options.sink = &sink;
    options.progressBase = 55;
    options.progressSpan = 20;
    ASSERT_TRUE(Load(path, options));
    EXPECT_EQ(index.count, static_cast<std::int32_t>(4 - exclusions.size()));
    EXPECT_THAT(sink.Percents(), ElementsAre(60, 65, 70, 75));
    ASSERT_EQ(sink.reports.size(), 4u);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(sink.reports[i].second, "正在读取数据...[" + std::to_string(i + 1) + "/4]");
    }
  }
}

TEST_F(ReaderTest, ProgressPercentsAreComputedInIntegers) {
  // 29 / 50 * 50 is 28.999... in floating point; the report must say 29.
  ArchiveBuilder builder(context.dataOps);
  for (int i = 0; i < 50; ++i) {
    builder.Entry(
        MakeStoredEntry(context.dataOps, std::string("f").append(std::to_string(i)), "x"));
  }
  const std::string path = ArchivePath();
  builder.WriteTo(path);
  ReportLog sink;
  LoadOptions options;
  options.sink = &sink;
  options.progressSpan = 50;
  ASSERT_TRUE(Load(path, options));
  ASSERT_EQ(sink.reports.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(sink.reports[i].first, i + 1);
}

TEST_F(ReaderTest, InterruptAtAnyReportFailsWithOneHundredSeven) {
  const std::string path = WriteSample();
  for (int n = 1; n <= 3; ++n) {
    ReportLog sink(n);
    LoadOptions options;
    options.mode = LoadMode::WithBlocks;
    options.sink = &sink;
    EXPECT_FALSE(Load(path, options));
    EXPECT_THAT(Codes(), ElementsAre(107));
    EXPECT_EQ(sink.reports.size(), static_cast<std::size_t>(n));
    ExpectEmptyIndex();
  }
}

TEST_F(ReaderTest, CallWithoutPathOnlyEmptiesAndKeepsStepOk) {
  const std::string path = WriteSample();
  LoadOptions options;
  options.mode = LoadMode::WithDataArea;
  ASSERT_TRUE(Load(path, options));
  for (const bool stepOk : {true, false}) {
    ASSERT_TRUE(Load(path, options));
    context.stepOk = stepOk;
    EXPECT_EQ(LoadArchiveIndex(context, index), stepOk);
    EXPECT_EQ(context.stepOk, stepOk);
    ExpectEmptyIndex();
    EXPECT_EQ(index.dataAreaStart, 0);
  }
}

TEST_F(ReaderTest, SuccessfulLoadAfterAFailureReportsSuccessInStepOk) {
  const std::string path = WriteSample();
  context.stepOk = false;
  EXPECT_TRUE(LoadArchiveIndex(context, index, path));
  EXPECT_TRUE(context.stepOk);
}

TEST_F(ReaderTest, EntryWithEmptyPathLoads) {
  StoredEntry unnamed = MakeStoredEntry(context.dataOps, "", "content");
  const std::string path = ArchivePath();
  ArchiveBuilder(context.dataOps).Entry(unnamed).WriteTo(path);
  LoadOptions blocks;
  blocks.mode = LoadMode::WithBlocks;
  ASSERT_TRUE(Load(path, blocks)) << context.errorLog;
  EXPECT_THAT(index.paths, ElementsAre(""));
  EXPECT_EQ(index.storedBlocks[0], unnamed.block);
}

}  // namespace
}  // namespace tovask
