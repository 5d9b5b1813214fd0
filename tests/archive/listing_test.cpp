#include "archive/listing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "archive/format.h"
#include "core/messages.h"
#include "core/startup.h"
#include "platform/text.h"
#include "support/temp_dir.h"

namespace tovask {
namespace {

using testing::TempDir;

constexpr std::string_view kDefaultTitles[kListColumnCount] = {
    "相对路径及文件名", "原文件大小", "压缩后大小", "修改时间", "加密", "属性", "MD5效验码"};

// 5 March 2004 07:08:09 as stored: the bytes 90 A1 B2 83 69 94 E2 40 (a hair before 07:08:09).
double ExampleTime() {
  const unsigned char raw[8] = {0x90, 0xA1, 0xB2, 0x83, 0x69, 0x94, 0xE2, 0x40};
  double value;
  std::memcpy(&value, raw, sizeof value);  // tests run on little-endian machines only
  return value;
}

ArchiveEntry MakeEntry(std::string path, std::int32_t original, std::int32_t stored,
                       std::uint8_t flags = EntryFlags::Archive | EntryFlags::Compressed) {
  ArchiveEntry entry;
  entry.path = std::move(path);
  entry.originalSize = original;
  entry.storedSize = stored;
  entry.flags = flags;
  entry.time = ExampleTime();
  entry.md5Text = "0123456789abcdef0123456789abcdef";
  return entry;
}

void AppendInt32(Bytes& out, std::int32_t value) {
  const auto u = static_cast<std::uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(u >> shift));
}

// An archive file built byte by byte: header, count, compressed records, then as many data
// bytes as the stored sizes claim (the listing never reads them).
Bytes BuildArchive(const DataOps& dataOps, const std::vector<ArchiveEntry>& entries) {
  Bytes out = ToBytes(ComposeHeaderText("RID", "1.05"));
  out.push_back(0x00);
  AppendInt32(out, static_cast<std::int32_t>(entries.size()));
  std::int64_t offset = 0;
  for (const ArchiveEntry& entry : entries) {
    const Bytes record =
        dataOps.Compress(EncodeEntryRecord(entry, static_cast<std::int32_t>(offset)));
    AppendInt32(out, static_cast<std::int32_t>(record.size()));
    out.insert(out.end(), record.begin(), record.end());
    offset += entry.storedSize;
  }
  out.insert(out.end(), static_cast<std::size_t>(offset), std::uint8_t{'x'});
  return out;
}

// Records every call, so a test can tell whether and how the list was touched.
class RecordingSink : public ListSink {
 public:
  void Begin(const std::vector<ListColumn>& columns) override {
    calls.push_back("Begin");
    this->columns = columns;
  }
  void AddRow(int itemValue, const ListRow& cells) override {
    calls.push_back("AddRow");
    itemValues.push_back(itemValue);
    rows.push_back(cells);
  }
  void End() override { calls.push_back("End"); }

  std::vector<std::string> calls;
  std::vector<ListColumn> columns;
  std::vector<int> itemValues;
  std::vector<ListRow> rows;
};

// A context whose message file is the default one in the test's own folder, with the user
// configuration folder pointed there too so no real account's file takes part.
class ListingTest : public ::testing::Test {
 protected:
  ListingTest() {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) oldConfigHome_ = old;
    setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    context_.runDirectory = dir_.path() + "/";
    context_.archiveMagic = "RID";
    context_.formatVersion = "1.05";
    WriteMessageFile(ToText(DefaultMessageFile()));
  }
  ~ListingTest() override {
    if (oldConfigHome_) {
      setenv("XDG_CONFIG_HOME", oldConfigHome_->c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
  }

  void WriteMessageFile(const std::string& bytes) {
    testing::WriteFile(dir_ / std::string(kMessageFileName), bytes);
  }

  std::string WriteArchiveFile(const std::string& name, const std::vector<ArchiveEntry>& entries) {
    const std::string path = dir_ / name;
    testing::WriteFile(path, ToText(BuildArchive(context_.dataOps, entries)));
    return path;
  }

  static std::string FileSizeText(const std::string& path) {
    return FormatWithThousands(static_cast<std::int64_t>(std::filesystem::file_size(path)));
  }

  TempDir dir_;
  AppContext context_;

 private:
  std::optional<std::string> oldConfigHome_;
};

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

// ---- Summary text ----------------------------------------------------------------------------

TEST(SummaryTextTest, JoinAndSplitAtBars) {
  const ArchiveSummary summary{{"RID1.05", "3", "12,000", "4,100", "4,380"}};
  EXPECT_EQ(JoinSummary(summary), "RID1.05|3|12,000|4,100|4,380");
  EXPECT_EQ(SplitSummary("RID1.05|3|12,000|4,100|4,380").items, summary.items);
  EXPECT_TRUE(SplitSummary("").items.empty());
  EXPECT_EQ(SplitSummary("a||b").items, (std::vector<std::string>{"a", "", "b"}));
}

// ---- ListArchive -----------------------------------------------------------------------------

TEST_F(ListingTest, ListsRowsInIndexOrderAndMakesTheSummary) {
  const std::vector<ArchiveEntry> entries = {
      MakeEntry("b.txt", 10000, 4000),
      MakeEntry("a\\c.bin", 1500, 100, EntryFlags::Archive | EntryFlags::Encrypted),
      MakeEntry("空.txt", 500, 0, 0),
  };
  const std::string path = WriteArchiveFile("three.tvk", entries);
  context_.errorLog = "1:stale";

  RecordingSink sink;
  std::string summary;
  ASSERT_TRUE(ListArchive(context_, path, &sink, &summary)) << context_.errorLog;
  EXPECT_EQ(context_.errorLog, "");

  EXPECT_EQ(sink.calls, (std::vector<std::string>{"Begin", "AddRow", "AddRow", "AddRow", "End"}));
  ASSERT_EQ(sink.columns.size(), static_cast<std::size_t>(kListColumnCount));
  EXPECT_EQ(sink.columns[0].title, kDefaultTitles[0]);
  EXPECT_EQ(sink.itemValues, (std::vector<int>{1, 2, 3}));
  ASSERT_EQ(sink.rows.size(), 3u);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(sink.rows[i], ListRowCells(entries[i])) << i;
  }
  EXPECT_EQ(sink.rows[1][4], "Y");
  EXPECT_EQ(sink.rows[2][0], "空.txt");

  EXPECT_EQ(summary, "RID1.05|3|12,000|4,100|" + FileSizeText(path));
}

TEST_F(ListingTest, ListOrSummaryMayBeLeftOut) {
  const std::string path = WriteArchiveFile("one.tvk", {MakeEntry("x", 1000, 10)});

  std::string summary;
  ASSERT_TRUE(ListArchive(context_, path, nullptr, &summary)) << context_.errorLog;
  EXPECT_EQ(summary, "RID1.05|1|1,000|10|" + FileSizeText(path));

  RecordingSink sink;
  ASSERT_TRUE(ListArchive(context_, path, &sink, nullptr)) << context_.errorLog;
  EXPECT_EQ(sink.rows.size(), 1u);

  EXPECT_TRUE(ListArchive(context_, path, nullptr, nullptr));
}

TEST_F(ListingTest, TotalsBeyondThirtyTwoBitsAreSummedInSixtyFourBits) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const std::string path =
      WriteArchiveFile("large.tvk", {MakeEntry("1", kMax, 3), MakeEntry("2", kMax, 4),
                                     MakeEntry("3", kMax, 5), MakeEntry("4", 3, 0)});
  std::string summary;
  ASSERT_TRUE(ListArchive(context_, path, nullptr, &summary)) << context_.errorLog;
  EXPECT_EQ(summary, "RID1.05|4|6,442,450,944|12|" + FileSizeText(path));
}

TEST_F(ListingTest, FailedLoadLeavesTheListAndSummaryAlone) {
  const std::string notArchive = dir_ / "note.tvk";
  testing::WriteFile(notArchive, std::string("XYZ 1.05\0\1\0\0\0\0\0\0\0", 17));
  const std::string missing = dir_ / "missing.tvk";

  for (const std::string& path : {notArchive, missing}) {
    context_.errorLog = "1:stale";
    RecordingSink sink;
    std::string summary = "untouched";
    EXPECT_FALSE(ListArchive(context_, path, &sink, &summary)) << path;
    EXPECT_TRUE(sink.calls.empty()) << path;
    EXPECT_EQ(summary, "untouched") << path;
    EXPECT_EQ(context_.errorLog.find("1:stale"), std::string::npos) << context_.errorLog;
    EXPECT_FALSE(context_.errorLog.empty()) << path;
  }
  context_.errorLog.clear();
  EXPECT_FALSE(ListArchive(context_, notArchive, nullptr, nullptr));
  EXPECT_EQ(context_.errorLog.rfind("51:", 0), 0u) << context_.errorLog;
  EXPECT_NE(context_.errorLog.find("RID"), std::string::npos) << context_.errorLog;
}

// ---- RefreshMainWindow -----------------------------------------------------------------------

TEST_F(ListingTest, RefreshShowsTheArchive) {
  const std::string path = WriteArchiveFile(
      "data.tvk", {MakeEntry("a", 10000, 4000), MakeEntry("b", 1500, 100), MakeEntry("c", 500, 0)});
  context_.currentArchivePath = path;
  RecordingSink sink;
  ArchiveSummary summary;

  const MainWindowState state = RefreshMainWindow(context_, &sink, summary);
  EXPECT_EQ(state.errorText, "");
  EXPECT_FALSE(state.listCleared);
  EXPECT_TRUE(state.archiveCommandsEnabled);
  EXPECT_EQ(state.caption, path + " - Tovask");
  EXPECT_EQ(state.statusText, "RID1.05版压缩包，共3个文件，合计12,000字节。");
  EXPECT_EQ(summary.items,
            (std::vector<std::string>{"RID1.05", "3", "12,000", "4,100", FileSizeText(path)}));
  EXPECT_EQ(sink.rows.size(), 3u);
  EXPECT_EQ(context_.currentArchivePath, path);
}

TEST_F(ListingTest, RefreshStatusShowsSixtyFourBitTotals) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  context_.currentArchivePath =
      WriteArchiveFile("big.tvk", {MakeEntry("1", kMax, 1), MakeEntry("2", kMax, 1)});
  ArchiveSummary summary;
  const MainWindowState state = RefreshMainWindow(context_, nullptr, summary);
  EXPECT_EQ(state.statusText, "RID1.05版压缩包，共2个文件，合计4,294,967,294字节。");
  ASSERT_EQ(summary.items.size(), 5u);
  EXPECT_EQ(summary.items[3], "2");
}

TEST_F(ListingTest, RefreshFailureForgetsTheArchive) {
  const std::string path = dir_ / "text.tvk";
  testing::WriteFile(path, std::string("XYZ 1.05\0\1\0\0\0\0\0\0\0", 17));
  context_.currentArchivePath = path;
  RecordingSink sink;
  ArchiveSummary summary{{"RID1.05", "9", "9,999", "999", "1,999"}};  // an earlier archive

  const MainWindowState state = RefreshMainWindow(context_, &sink, summary);
  EXPECT_EQ(state.errorText.rfind("51:", 0), 0u) << state.errorText;
  EXPECT_EQ(state.errorText, CurrentErrorLog(context_));
  EXPECT_TRUE(state.listCleared);
  EXPECT_TRUE(sink.calls.empty());
  EXPECT_EQ(context_.currentArchivePath, "");
  EXPECT_EQ(state.caption, "Tovask");
  EXPECT_EQ(state.statusText, "");
  EXPECT_FALSE(state.archiveCommandsEnabled);
  EXPECT_TRUE(summary.items.empty());

  // The information window after the failure shows blank figures, not the earlier ones.
  const ArchiveInformation info = DescribeArchive(context_.currentArchivePath, summary);
  EXPECT_EQ(info.lines[2], "  文件总数：" + std::string(30, ' '));
}

TEST_F(ListingTest, RefreshWithoutArchiveLeavesListAndSummary) {
  context_.currentArchivePath = "";
  RecordingSink sink;
  ArchiveSummary summary;
  const MainWindowState state = RefreshMainWindow(context_, &sink, summary);
  EXPECT_EQ(state.caption, "Tovask");
  EXPECT_EQ(state.statusText, "");
  EXPECT_FALSE(state.archiveCommandsEnabled);
  EXPECT_FALSE(state.listCleared);
  EXPECT_EQ(state.errorText, "");
  EXPECT_TRUE(sink.calls.empty());
  EXPECT_TRUE(summary.items.empty());
}

// ---- DescribeArchive -------------------------------------------------------------------------

std::string Blanks(std::size_t n) { return std::string(n, ' '); }

TEST(DescribeArchiveTest, TheExampleArchive) {
  const ArchiveInformation info =
      DescribeArchive("/work/data.tvk", {{"RID1.05", "3", "12,000", "4,100", "4,380"}});
  const std::array<std::string, 7> expected = {
      "    文件名：" + Blanks(22) + "data.tvk", "  压缩版本：" + Blanks(23) + "RID1.05",
      "  文件总数：" + Blanks(29) + "3",        "文件总大小：" + Blanks(24) + "12,000",
      "压缩总大小：" + Blanks(25) + "4,100",    "压缩包大小：" + Blanks(25) + "4,380",
      "    压缩率：" + Blanks(27) + "36%",
  };
  EXPECT_EQ(info.lines, expected);
  EXPECT_EQ(info.ratioPercent, 36);
  EXPECT_EQ(info.barPosition, 36);
  for (const std::string& line : info.lines) EXPECT_EQ(platform::GbkByteCount(line), 42u) << line;
}

TEST(DescribeArchiveTest, RatioAndBar) {
  const struct {
    const char* total;
    const char* archive;
    int ratio;
    int bar;
    const char* text;
  } cases[] = {
      {"1,000", "300", 30, 30, "30%"},
      {"1,000", "1,500", 150, 100, "150%"},
      {"3", "1", 33, 33, "33%"},
      {"0", "4,380", 0, 0, "0%"},
      {"", "4,380", 0, 0, "0%"},
      {"12,000", "", 0, 0, "0%"},
      {"abc", "100", 0, 0, "0%"},
      {"-1,000", "100", 0, 0, "0%"},
      {"99,999,999,999,999,999,999", "100", 0, 0, "0%"},  // beyond 64 bits: not a figure
      // Products beyond 64 bits are still exact.
      {"7,000,000,000,000,000,000", "9,000,000,000,000,000,000", 128, 100, "128%"},
      {"3,000,000,000,000,000,000", "5,000,000,000,000,000,000", 166, 100, "166%"},
      {"1", "9,223,372,036,854,775,807", std::numeric_limits<int>::max(), 100,
       "9223372036854775807%"},
      {"2", "21,474,836,480", std::numeric_limits<int>::max(), 100, "1073741824000%"},
  };
  for (const auto& c : cases) {
    const ArchiveInformation info =
        DescribeArchive("/a.tvk", {{"RID1.05", "1", c.total, "1", c.archive}});
    EXPECT_EQ(info.ratioPercent, c.ratio) << c.total << " / " << c.archive;
    EXPECT_EQ(info.barPosition, c.bar) << c.total << " / " << c.archive;
    const std::string& line = info.lines[6];
    EXPECT_EQ(line.substr(line.size() - std::strlen(c.text)), c.text) << line;
    EXPECT_EQ(platform::GbkByteCount(line), 42u) << line;
  }
}

TEST(DescribeArchiveTest, LongValuesKeepTheirLastThirtyBytes) {
  const std::string han = "汉";  // 2 GBK bytes
  auto repeat = [](const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
  };
  const struct {
    std::string fileName;
    std::string field;
  } cases[] = {
      {"abcdefghijklmnopqrstuvwxyz0123456789.tvk", "klmnopqrstuvwxyz0123456789.tvk"},
      {repeat(han, 20), repeat(han, 15)},                    // an even cut
      {repeat(han, 16) + "x", " " + repeat(han, 14) + "x"},  // the cut falls inside a character
      {"a" + repeat(han, 15), repeat(han, 15)},              // 31 bytes: the leading letter goes
      {repeat(han, 15), repeat(han, 15)},                    // exactly 30 bytes
      {"a" + repeat(han, 15) + "c", " " + repeat(han, 14) + "c"},
  };
  for (const auto& c : cases) {
    const ArchiveInformation info = DescribeArchive("/some/folder/" + c.fileName, {});
    EXPECT_EQ(info.lines[0], "    文件名：" + c.field) << c.fileName;
    EXPECT_EQ(platform::GbkByteCount(info.lines[0]), 42u) << c.fileName;
  }
}

TEST(DescribeArchiveTest, EmptySummaryGivesBlankFields) {
  for (const ArchiveSummary& summary : {ArchiveSummary{}, ArchiveSummary{{"RID1.05"}}}) {
    const ArchiveInformation info = DescribeArchive("", summary);
    EXPECT_EQ(info.lines[0], "    文件名：" + Blanks(30));
    EXPECT_EQ(info.lines[3], "文件总大小：" + Blanks(30));
    EXPECT_EQ(info.lines[5], "压缩包大小：" + Blanks(30));
    EXPECT_EQ(info.lines[6], "    压缩率：" + Blanks(28) + "0%");
    EXPECT_EQ(info.ratioPercent, 0);
    EXPECT_EQ(info.barPosition, 0);
  }
}

TEST(DescribeArchiveTest, FileNameIsTheLastPathLevel) {
  EXPECT_EQ(DescribeArchive("/a/b/c.tvk", {}).lines[0], "    文件名：" + Blanks(25) + "c.tvk");
  EXPECT_EQ(DescribeArchive("c.tvk", {}).lines[0], "    文件名：" + Blanks(25) + "c.tvk");
  EXPECT_EQ(DescribeArchive("/a/b/", {}).lines[0], "    文件名：" + Blanks(30));
  EXPECT_EQ(DescribeArchive("/a/\x1b[2Jc\n.tvk", {}).lines[0],
            "    文件名：" + Blanks(16) + "\\x1b[2Jc\\n.tvk");
}

TEST_F(ListingTest, InformationFromAListedArchive) {
  const std::string path = WriteArchiveFile("info.tvk", {MakeEntry("a", 2, 1)});
  std::string summaryText;
  ASSERT_TRUE(ListArchive(context_, path, nullptr, &summaryText)) << context_.errorLog;
  const ArchiveInformation info = DescribeArchive(path, SplitSummary(summaryText));
  // The header and index make a tiny archive far larger than its content.
  const auto size = static_cast<std::int64_t>(std::filesystem::file_size(path));
  EXPECT_EQ(info.ratioPercent, static_cast<int>(size * 100 / 2));
  EXPECT_EQ(info.barPosition, 100);
  EXPECT_EQ(info.lines[0], "    文件名：" + Blanks(22) + "info.tvk");
}

}  // namespace
}  // namespace tovask
