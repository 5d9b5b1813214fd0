#include "app/archive_information.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "platform/text.h"

namespace tovask {
namespace {

std::string Blanks(std::size_t n) { return std::string(n, ' '); }

TEST(DescribeArchiveTest, TheExampleArchive) {
  const ArchiveSummary summary{"RID1.05", 3, 12000, 4100, 4380};
  const ArchiveInformation info = DescribeArchive("/work/data.tvk", &summary);
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
  constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();
  const struct {
    std::int64_t total;
    std::int64_t archive;
    int ratio;
    int bar;
    const char* text;
  } cases[] = {
      {1000, 300, 30, 30, "30%"},
      {1000, 1500, 150, 100, "150%"},
      {3, 1, 33, 33, "33%"},
      {0, 4380, 0, 0, "0%"},
      {1000, 0, 0, 0, "0%"},
      {-1000, 100, 0, 0, "0%"},
      // Products beyond 64 bits are still exact.
      {7'000'000'000'000'000'000, 9'000'000'000'000'000'000, 128, 100, "128%"},
      {3'000'000'000'000'000'000, 5'000'000'000'000'000'000, 166, 100, "166%"},
      {1, kMax64, std::numeric_limits<int>::max(), 100, "9223372036854775807%"},
      {2, 21'474'836'480, std::numeric_limits<int>::max(), 100, "1073741824000%"},
  };
  for (const auto& c : cases) {
    const ArchiveSummary summary{"RID1.05", 1, c.total, 1, c.archive};
    const ArchiveInformation info = DescribeArchive("/a.tvk", &summary);
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
    const ArchiveInformation info = DescribeArchive("/some/folder/" + c.fileName, nullptr);
    EXPECT_EQ(info.lines[0], "    文件名：" + c.field) << c.fileName;
    EXPECT_EQ(platform::GbkByteCount(info.lines[0]), 42u) << c.fileName;
  }
}

TEST(DescribeArchiveTest, NoSummaryGivesBlankFields) {
  const ArchiveInformation info = DescribeArchive("", nullptr);
  EXPECT_EQ(info.lines[0], "    文件名：" + Blanks(30));
  EXPECT_EQ(info.lines[1], "  压缩版本：" + Blanks(30));
  EXPECT_EQ(info.lines[3], "文件总大小：" + Blanks(30));
  EXPECT_EQ(info.lines[5], "压缩包大小：" + Blanks(30));
  EXPECT_EQ(info.lines[6], "    压缩率：" + Blanks(28) + "0%");
  EXPECT_EQ(info.ratioPercent, 0);
  EXPECT_EQ(info.barPosition, 0);
}

TEST(DescribeArchiveTest, FileNameIsTheLastPathLevel) {
  EXPECT_EQ(DescribeArchive("/a/b/c.tvk", nullptr).lines[0], "    文件名：" + Blanks(25) + "c.tvk");
  EXPECT_EQ(DescribeArchive("c.tvk", nullptr).lines[0], "    文件名：" + Blanks(25) + "c.tvk");
  EXPECT_EQ(DescribeArchive("/a/b/", nullptr).lines[0], "    文件名：" + Blanks(30));
  EXPECT_EQ(DescribeArchive("/a/\x1b[2Jc\n.tvk", nullptr).lines[0],
            "    文件名：" + Blanks(16) + "\\x1b[2Jc\\n.tvk");
}

}  // namespace
}  // namespace tovask
