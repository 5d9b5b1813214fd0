#include "archive/listing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "archive/format.h"
#include "archive/listing_fixture.h"
#include "core/messages.h"
#include "platform/text.h"

namespace tovask {
namespace {

using testing::ExampleTime;
using testing::ListingTest;
using testing::MakeEntry;

constexpr std::string_view kDefaultTitles[kListColumnCount] = {
    "相对路径及文件名", "原文件大小", "压缩后大小", "修改时间", "加密", "属性", "MD5效验码"};

// ---- FormatWithThousands -------------------------------------------------------------------

TEST(FormatWithThousandsTest, GroupsOfThreeDigits) {
  const struct {
    std::int64_t value;
    const char* text;
  } cases[] = {
      {0, "0"},
      {7, "7"},
      {999, "999"},
      {1000, "1,000"},
      {1001, "1,001"},
      {100000, "100,000"},
      {1000001, "1,000,001"},
      {1234567, "1,234,567"},
      {1000000, "1,000,000"},
      {2147483647, "2,147,483,647"},
      {2147483648LL, "2,147,483,648"},
      {4294967296LL, "4,294,967,296"},
      {6442450941LL, "6,442,450,941"},
      {std::numeric_limits<std::int64_t>::max(), "9,223,372,036,854,775,807"},
      {-1, "-1"},
      {-999, "-999"},
      {-1000, "-1,000"},
      {-1234567, "-1,234,567"},
      {std::numeric_limits<std::int64_t>::min(), "-9,223,372,036,854,775,808"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatWithThousands(c.value), c.text) << c.value;
}

// ---- Row cells -------------------------------------------------------------------------------

TEST(AttributeLettersTest, FixedOrderARHS) {
  const struct {
    std::uint8_t flags;
    const char* letters;
  } cases[] = {
      {0, ""},
      {EntryFlags::Archive | EntryFlags::ReadOnly | EntryFlags::Hidden, "ARH"},
      {EntryFlags::Archive | EntryFlags::ReadOnly, "AR"},
      {EntryFlags::AttributeMask, "ARHS"},
      {EntryFlags::System, "S"},
      {EntryFlags::Hidden | EntryFlags::System, "HS"},
      {EntryFlags::ReadOnly | EntryFlags::Encrypted, "R"},
      {EntryFlags::TransformMask, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AttributeLetters(c.flags), c.letters) << static_cast<int>(c.flags);
  }
}

TEST(FormatListTimeTest, ZeroPaddedAndRoundedToTheSecond) {
  EXPECT_EQ(FormatListTime(ExampleTime()), "2004-03-05 07:08:09");
  EXPECT_EQ(FormatListTime(0.0), "1899-12-30 00:00:00");
  EXPECT_EQ(FormatListTime(DateTimeFromLocal({2004, 7, 9, 8, 5, 0})), "2004-07-09 08:05:00");
  EXPECT_EQ(FormatListTime(DateTimeFromLocal({12, 1, 2, 3, 4, 5})), "0012-01-02 03:04:05");
}

TEST(FormatListTimeTest, InvalidValuesGiveEmptyText) {
  for (const double value : {std::nan(""), std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(), 1e12, -1e12}) {
    EXPECT_EQ(FormatListTime(value), "") << value;
  }
}

TEST(ListRowCellsTest, EncryptedEntryWithAttributes) {
  ArchiveEntry entry = MakeEntry("docs\\报告.txt", 1234567, 456789,
                                 EntryFlags::Archive | EntryFlags::ReadOnly | EntryFlags::Hidden |
                                     EntryFlags::Compressed | EntryFlags::Encrypted);
  entry.md5Text = "d41d8cd98f00b204e9800998ecf8427e";
  const ListRow cells = ListRowCells(entry);
  const ListRow expected = {"docs\\报告.txt",
                            "1,234,567",
                            "456,789",
                            "2004-03-05 07:08:09",
                            "Y",
                            "ARH",
                            "D41D8CD98F00B204E9800998ECF8427E"};
  EXPECT_EQ(cells, expected);
}

TEST(ListRowCellsTest, EmptyUnencryptedEntry) {
  ArchiveEntry entry = MakeEntry("empty", 0, 0, EntryFlags::Archive | EntryFlags::ReadOnly);
  entry.md5Text = "D41d8Cd98f00B204e9800998eCf8427E";
  const ListRow cells = ListRowCells(entry);
  EXPECT_EQ(cells[1], "0");
  EXPECT_EQ(cells[2], "0");
  EXPECT_EQ(cells[4], "");
  EXPECT_EQ(cells[5], "AR");
  EXPECT_EQ(cells[6], "D41D8CD98F00B204E9800998ECF8427E");

  entry.flags = 0;
  EXPECT_EQ(ListRowCells(entry)[5], "");
}

TEST(ListRowCellsTest, PathCellShowsControlCharactersEscaped) {
  const ArchiveEntry entry = MakeEntry("a\\b\ty\nFORGED\x1b[2J.txt", 1, 1, 0);
  EXPECT_EQ(ListRowCells(entry)[0], "a\\b\\ty\\nFORGED\\x1b[2J.txt");
}

TEST(ListCellTextTest, AppendingAddsTheCellTextsToTheBuffer) {
  ArchiveEntry entry =
      MakeEntry("d\\\x1b.txt", 1234, -5, EntryFlags::Encrypted | EntryFlags::System);
  entry.md5Text = "d41d8cd98f00b204e9800998ecf8427e";
  std::string out = "row:";
  for (const int column : {0, 1, 2, 3, 4, 5, 6, 7, -1}) {
    AppendListCellText(out, entry, column);
    out += '|';
  }
  EXPECT_EQ(
      out, "row:d\\\\x1b.txt|1,234|-5|2004-03-05 07:08:09|Y|S|D41D8CD98F00B204E9800998ECF8427E|||");
}

// ---- Columns ---------------------------------------------------------------------------------

TEST_F(ListingTest, ColumnsFromTheDefaultTitles) {
  const std::vector<ListColumn> columns = ListColumns(context_);
  ASSERT_EQ(columns.size(), static_cast<std::size_t>(kListColumnCount));
  const int widths[] = {300, 80, 80, 128, 38, 38, 205};
  const int alignments[] = {0, 2, 2, 0, 0, 0, 0};
  for (int i = 0; i < kListColumnCount; ++i) {
    EXPECT_EQ(columns[i].title, kDefaultTitles[i]) << i;
    EXPECT_EQ(columns[i].width, widths[i]) << i;
    EXPECT_EQ(columns[i].alignment, alignments[i]) << i;
  }
}

TEST_F(ListingTest, ColumnsFollowAnEditedMessageFile) {
  const struct {
    const char* value;
    std::vector<std::string> titles;
  } cases[] = {
      {"名称,大小", {"名称", "大小", "", "", "", "", ""}},
      {"a,b,c,d,e,f,g,h,i", {"a", "b", "c", "d", "e", "f", "g"}},
      {"a,,c,d,e,f,g", {"a", "", "c", "d", "e", "f", "g"}},
  };
  for (const auto& c : cases) {
    const auto gbk = platform::Utf8ToGbk(std::string("[Title]\r\n51=") + c.value + "\r\n");
    ASSERT_TRUE(gbk.has_value());
    WriteMessageFile(*gbk);
    const std::vector<ListColumn> columns = ListColumns(context_);
    ASSERT_EQ(columns.size(), static_cast<std::size_t>(kListColumnCount)) << c.value;
    for (int i = 0; i < kListColumnCount; ++i) {
      EXPECT_EQ(columns[i].title, c.titles[i]) << c.value << " column " << i;
    }
    EXPECT_EQ(columns[6].width, 205);
  }
}

TEST(ListCellTextTest, ColumnsOutsideTheListAreEmpty) {
  const ArchiveEntry entry = MakeEntry("a.txt", 1, 1);
  for (const int column : {-1, kListColumnCount, 1000}) {
    EXPECT_EQ(ListCellText(entry, column), "") << column;
  }
  EXPECT_EQ(ListCellText(entry, ColumnTime), "2004-03-05 07:08:09");
}

// ---- Summary texts ---------------------------------------------------------------------------

TEST(SummaryTextsTest, FiguresWithThousandsSeparators) {
  const ArchiveSummary summary{"RID1.05", 3, 12000, 4100, 4380};
  EXPECT_EQ(SummaryTexts(summary),
            (std::array<std::string, 5>{"RID1.05", "3", "12,000", "4,100", "4,380"}));
  EXPECT_EQ(SummaryTexts(ArchiveSummary{}), (std::array<std::string, 5>{"", "0", "0", "0", "0"}));
}

// ---- ListArchive -----------------------------------------------------------------------------

TEST_F(ListingTest, ListsEntriesInIndexOrderAndMakesTheSummary) {
  const std::vector<ArchiveEntry> entries = {
      MakeEntry("b.txt", 10000, 4000),
      MakeEntry("a\\c.bin", 1500, 100, EntryFlags::Archive | EntryFlags::Encrypted),
      MakeEntry("空.txt", 500, 0, 0),
  };
  const std::string path = WriteArchiveFile("three.tvk", entries);
  ErrorText(context_, ErrorCode::OpenFile, {"stale"});

  ArchiveListing listing;
  ASSERT_TRUE(ListArchive(context_, path, listing)) << context_.errorLog;
  EXPECT_EQ(context_.errorLog, "");

  ASSERT_EQ(listing.entries.size(), 3u);
  const std::int32_t offsets[] = {0, 4000, 4100};  // the data laid out in index order
  for (std::size_t i = 0; i < entries.size(); ++i) {
    ArchiveEntry expected = entries[i];
    expected.dataOffset = offsets[i];
    EXPECT_EQ(listing.entries[i], expected) << i;
  }
  EXPECT_EQ(ListCellText(listing.entries[1], ColumnEncrypted), "Y");
  EXPECT_EQ(ListCellText(listing.entries[2], ColumnPath), "空.txt");

  const auto size = static_cast<std::int64_t>(std::filesystem::file_size(path));
  EXPECT_EQ(listing.summary, (ArchiveSummary{"RID1.05", 3, 12000, 4100, size}));
  EXPECT_EQ(SummaryTexts(listing.summary)[4], FileSizeText(path));
}

TEST_F(ListingTest, ListingReplacesAnEarlierOne) {
  const std::string path = WriteArchiveFile("one.tvk", {MakeEntry("x", 1000, 10)});
  ArchiveListing listing;
  listing.entries = {MakeEntry("old", 1, 1), MakeEntry("older", 2, 2)};
  ASSERT_TRUE(ListArchive(context_, path, listing)) << context_.errorLog;
  ASSERT_EQ(listing.entries.size(), 1u);
  EXPECT_EQ(listing.entries[0].path, "x");
  EXPECT_EQ(SummaryTexts(listing.summary)[2], "1,000");
}

TEST_F(ListingTest, TotalsBeyondThirtyTwoBitsAreSummedInSixtyFourBits) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const std::string path =
      WriteArchiveFile("large.tvk", {MakeEntry("1", kMax, 3), MakeEntry("2", kMax, 4),
                                     MakeEntry("3", kMax, 5), MakeEntry("4", 3, 0)});
  ArchiveListing listing;
  ASSERT_TRUE(ListArchive(context_, path, listing)) << context_.errorLog;
  EXPECT_EQ(listing.summary.totalOriginalSize, 6442450944LL);
  EXPECT_EQ(SummaryTexts(listing.summary)[2], "6,442,450,944");
  EXPECT_EQ(listing.summary.totalStoredSize, 12);
  EXPECT_EQ(listing.summary.entryCount, 4);
}

TEST_F(ListingTest, FailedLoadLeavesTheListingAlone) {
  const std::string notArchive = dir_ / "note.tvk";
  testing::WriteFile(notArchive, std::string("XYZ 1.05\0\1\0\0\0\0\0\0\0", 17));
  const std::string missing = dir_ / "missing.tvk";

  for (const std::string& path : {notArchive, missing}) {
    ErrorText(context_, ErrorCode::OpenFile, {"stale"});
    ArchiveListing listing;
    listing.entries = {MakeEntry("kept", 1, 1)};
    listing.summary = {"RID1.05", 1, 1, 1, 99};
    EXPECT_FALSE(ListArchive(context_, path, listing)) << path;
    ASSERT_EQ(listing.entries.size(), 1u) << path;
    EXPECT_EQ(listing.entries[0].path, "kept") << path;
    EXPECT_EQ(listing.summary.archiveFileSize, 99) << path;
    EXPECT_EQ(context_.errorLog.find("1:stale"), std::string::npos) << context_.errorLog;
    EXPECT_FALSE(context_.errorLog.empty()) << path;
  }
  ClearErrorLog(context_);
  ArchiveListing listing;
  EXPECT_FALSE(ListArchive(context_, notArchive, listing));
  EXPECT_EQ(context_.errorLog.rfind("51:", 0), 0u) << context_.errorLog;
  EXPECT_NE(context_.errorLog.find("RID"), std::string::npos) << context_.errorLog;
}

}  // namespace
}  // namespace tovask
