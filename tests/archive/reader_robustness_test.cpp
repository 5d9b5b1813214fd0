// Damaged and hostile archives: the reader must answer every input with success or one
// numbered error, never crash, and never let a size taken from the file drive an allocation.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "archive/reader.h"
#include "support/archive_builder.h"
#include "support/archive_fixture.h"
#include "support/fault_plan.h"

namespace tovask {
namespace {

using ::testing::AnyOf;
using testing::ArchiveBuilder;
using ::testing::ElementsAre;
using testing::FaultPlan;
using testing::MakeStoredEntry;
using testing::StoredEntry;

constexpr LoadMode kModes[] = {LoadMode::IndexOnly, LoadMode::WithBlocks, LoadMode::WithDataArea};

class ReaderRobustnessTest : public testing::ArchiveFixture {
 protected:
  ReaderRobustnessTest() {
    entries_ = {MakeStoredEntry(context.dataOps, "folder\\notes.txt", std::string(200, 'n')),
                MakeStoredEntry(context.dataOps, "empty", ""),
                MakeStoredEntry(context.dataOps, "tail.bin", "xyz")};
    ArchiveBuilder builder(context.dataOps);
    for (const auto& stored : entries_) builder.Entry(stored);
    valid_ = builder.Build();
    std::size_t dataSize = 0;
    for (const auto& stored : entries_) dataSize += stored.block.size();
    dataAreaStart_ = valid_.size() - dataSize;
  }

  bool Load(const Bytes& bytes, LoadMode mode) {
    testing::WriteFile(path_, ToText(bytes));
    ClearErrorLog(context);
    context.stepOk = true;
    LoadOptions options;
    options.mode = mode;
    return LoadArchiveIndex(context, index, path_, options);
  }

  // A loaded index must be self-consistent, and what it holds must come from the file.
  void ExpectConsistent(LoadMode mode, std::size_t fileSize) {
    const auto count = static_cast<std::size_t>(index.count);
    ASSERT_EQ(index.paths.size(), count);
    ASSERT_EQ(index.storedSizes.size(), count);
    ASSERT_EQ(index.dataOffsets.size(), count);
    EXPECT_EQ(index.storedBlocks.size(), mode == LoadMode::WithBlocks ? count : 0u);
    std::size_t held = 0;
    for (std::size_t i = 0; i < index.storedBlocks.size(); ++i) {
      EXPECT_EQ(index.storedBlocks[i].size(), static_cast<std::size_t>(index.storedSizes[i]));
      held += index.storedBlocks[i].size();
    }
    EXPECT_LE(held, fileSize);
    EXPECT_LE(index.dataArea.size(), fileSize);
  }

  std::vector<StoredEntry> entries_;
  Bytes valid_;
  std::size_t dataAreaStart_ = 0;
  std::string path_ = work / "probe.tvk";
};

TEST_F(ReaderRobustnessTest, EveryTruncationFailsWithFiftyThreeOrLoadsWhatIsThere) {
  for (std::size_t cut = 0; cut < valid_.size(); ++cut) {
    const Bytes part(valid_.begin(), valid_.begin() + static_cast<std::ptrdiff_t>(cut));
    for (const LoadMode mode : kModes) {
      const bool ok = Load(part, mode);
      const std::string where =
          "cut " + std::to_string(cut) + " mode " + std::to_string(static_cast<int>(mode));
      if (cut < dataAreaStart_) {
        EXPECT_FALSE(ok) << where;
        EXPECT_THAT(Codes(), ElementsAre(53)) << where;
        continue;
      }
      // The index is whole; only blocks are missing.
      const std::size_t dataSize = cut - dataAreaStart_;
      if (mode == LoadMode::WithBlocks) {
        // The empty entry and the ones before the cut fit; the last block does not.
        EXPECT_FALSE(ok) << where;
        EXPECT_THAT(Codes(), ElementsAre(54)) << where;
      } else {
        ASSERT_TRUE(ok) << where << ": " << context.errorLog;
        EXPECT_EQ(index.count, 3);
        ExpectConsistent(mode, cut);
        if (mode == LoadMode::WithDataArea) {
          EXPECT_EQ(index.dataArea.size(), dataSize) << where;
        }
      }
    }
  }
  for (const LoadMode mode : kModes) EXPECT_TRUE(Load(valid_, mode)) << context.errorLog;
}

TEST_F(ReaderRobustnessTest, RandomByteFlipsGiveSuccessOrOneNumberedError) {
  std::mt19937 random(20040305);
  std::uniform_int_distribution<std::size_t> position(0, valid_.size() - 1);
  std::uniform_int_distribution<int> flips(1, 4);
  std::uniform_int_distribution<int> mask(1, 255);
  int failures = 0;
  for (int round = 0; round < 2000; ++round) {
    Bytes damaged = valid_;
    for (int k = flips(random); k > 0; --k) {
      damaged[position(random)] ^= static_cast<std::uint8_t>(mask(random));
    }
    for (const LoadMode mode : kModes) {
      const bool ok = Load(damaged, mode);
      if (ok) {
        EXPECT_TRUE(context.errorLog.empty());
        ExpectConsistent(mode, damaged.size());
      } else {
        ++failures;
        EXPECT_THAT(Codes(), ElementsAre(AnyOf(51, 52, 53, 54)))
            << "round " << round << ": " << context.errorLog;
        EXPECT_EQ(index.count, 0);
      }
    }
  }
  // Most flips land in compressed records or the header: the damage is noticed.
  EXPECT_GT(failures, 2000) << failures;
}

TEST_F(ReaderRobustnessTest, HugeSizesFailAtOnce) {
  DataOps& ops = context.dataOps;
  const StoredEntry sample = MakeStoredEntry(ops, "a.txt", "abcdef");
  const Bytes record = EncodeEntryRecord(sample.entry, 0);
  ArchiveEntry hugeStored = sample.entry;
  hugeStored.storedSize = 0x7FFFFFFF;
  ArchiveEntry hugeOffset = sample.entry;
  hugeOffset.dataOffset = 0x7FFFFFF0;

  struct Case {
    const char* name;
    Bytes bytes;
    LoadMode mode;
    int code;
  };
  const std::vector<Case> cases = {
      {"count 0x7FFFFFFF", ArchiveBuilder(ops).Entry(sample).Count(0x7FFFFFFF).Build(),
       LoadMode::IndexOnly, 53},
      {"count 0x40000000", ArchiveBuilder(ops).Entry(sample).Count(0x40000000).Build(),
       LoadMode::WithBlocks, 53},
      {"length 0x7FFFFFFF",
       ArchiveBuilder(ops).RawIndexBlock(ops.Compress(record), 0x7FFFFFFF).Build(),
       LoadMode::IndexOnly, 53},
      {"stored size 0x7FFFFFFF",
       ArchiveBuilder(ops).Record(hugeStored).DataArea(sample.block).Build(), LoadMode::WithBlocks,
       54},
      {"offset 0x7FFFFFF0", ArchiveBuilder(ops).Record(hugeOffset).DataArea(sample.block).Build(),
       LoadMode::WithBlocks, 54},
      {"a megabyte without 0x00", Bytes(1 << 20, 'A'), LoadMode::IndexOnly, 53},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(Load(c.bytes, c.mode)) << c.name;
    EXPECT_THAT(Codes(), ElementsAre(c.code)) << c.name << ": " << context.errorLog;
  }
}

TEST_F(ReaderRobustnessTest, BlocksThatAllClaimTheWholeDataAreaAreNotLoadedManyTimes) {
  // Each record alone fits the file, but together they would hold the data area 2000 times.
  const Bytes area(64 * 1024, 'd');
  ArchiveEntry entry = MakeStoredEntry(context.dataOps, "same", "x").entry;
  entry.storedSize = static_cast<std::int32_t>(area.size());
  ArchiveBuilder builder(context.dataOps);
  for (int i = 0; i < 2000; ++i) {
    entry.path = "same" + std::to_string(i);
    builder.Record(entry);
  }
  const Bytes bytes = builder.DataArea(area).Build();
  EXPECT_FALSE(Load(bytes, LoadMode::WithBlocks));
  EXPECT_THAT(Codes(), ElementsAre(53));
  // The index itself is readable: listing shows what the file claims.
  EXPECT_TRUE(Load(bytes, LoadMode::IndexOnly)) << context.errorLog;
  EXPECT_EQ(index.count, 2000);
}

TEST_F(ReaderRobustnessTest, RecordsThatInflateFarBeyondTheFileAreRefused) {
  // A path of almost a mebibyte compresses to a few dozen bytes; many of them in a tiny file
  // would turn kilobytes on disk into gigabytes in memory.
  ArchiveEntry entry = MakeStoredEntry(context.dataOps, "", "").entry;
  entry.path = std::string((1 << 20) - 200, 'p');
  ArchiveBuilder one(context.dataOps);
  one.Record(entry);
  EXPECT_TRUE(Load(one.Build(), LoadMode::IndexOnly)) << "one long name is still a name";

  ArchiveBuilder many(context.dataOps);
  for (int i = 0; i < 40; ++i) many.Record(entry);
  const Bytes bytes = many.Build();
  ASSERT_LT(bytes.size(), 8000u);
  EXPECT_FALSE(Load(bytes, LoadMode::IndexOnly));
  EXPECT_THAT(Codes(), ElementsAre(53));
}

TEST_F(ReaderRobustnessTest, RecordThatDecompressesPastTheBoundIsDamage) {
  ArchiveEntry entry = MakeStoredEntry(context.dataOps, "", "").entry;
  entry.path = std::string((1 << 20) + 1, 'q');
  EXPECT_FALSE(Load(ArchiveBuilder(context.dataOps).Record(entry).Build(), LoadMode::IndexOnly));
  EXPECT_THAT(Codes(), ElementsAre(53));
}

// The index is read ahead in large pieces: an index of several of them, with records that
// straddle two pieces and records larger than a piece, loads entry for entry; cut anywhere
// inside it, it is damage (53); a failing read of a later piece is error 2.
TEST_F(ReaderRobustnessTest, IndexOfManyReadAheadPiecesLoadsWholeOrFails) {
  std::mt19937 random(7);
  // Bytes 0x01..0xFF at random: names that barely compress, so the index is as large as they.
  auto name = [&random](std::size_t length) {
    std::string text(length, ' ');
    for (char& c : text) c = static_cast<char>(1 + random() % 255);
    return text;
  };
  ArchiveEntry entry = MakeStoredEntry(context.dataOps, "", "").entry;
  ArchiveBuilder builder(context.dataOps);
  std::vector<std::string> paths;
  for (int i = 0; i < 3000; ++i) {
    // Two names close to the record bound: larger than one piece together, and one of them
    // starts inside a piece whatever the sizes before it.
    paths.push_back(name(i == 1000 || i == 1001 ? 900000 : 40 + i % 700));
    entry.path = paths.back();
    builder.Record(entry);
  }
  const Bytes bytes = builder.Build();
  ASSERT_GT(bytes.size(), std::size_t{2} << 20);

  for (const LoadMode mode : kModes) {
    ASSERT_TRUE(Load(bytes, mode)) << context.errorLog;
    EXPECT_EQ(index.paths, paths);
  }
  for (const std::size_t cut :
       {std::size_t{1} << 20, (std::size_t{1} << 20) + 3, bytes.size() / 2, bytes.size() - 1}) {
    for (const LoadMode mode : kModes) {
      EXPECT_FALSE(
          Load(Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)), mode));
      EXPECT_THAT(Codes(), ElementsAre(53)) << "cut " << cut;
    }
  }
  testing::WriteFile(path_, ToText(bytes));
  ClearErrorLog(context);
  FaultPlan plan(platform::FileOp::Read, 4);  // header, count, first piece, then this one
  LoadOptions options;
  EXPECT_FALSE(LoadArchiveIndex(context, index, path_, options));
  EXPECT_TRUE(plan.fired());
  EXPECT_THAT(Codes(), ElementsAre(2));
}

}  // namespace
}  // namespace tovask
