#include "app/main_window_state.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <optional>
#include <string>

#include "app/archive_information.h"
#include "archive/listing_fixture.h"
#include "core/messages.h"

namespace tovask {
namespace {

using testing::ListingTest;
using testing::MakeEntry;

TEST_F(ListingTest, RefreshShowsTheArchive) {
  const std::string path = WriteArchiveFile(
      "data.tvk", {MakeEntry("a", 10000, 4000), MakeEntry("b", 1500, 100), MakeEntry("c", 500, 0)});
  context_.currentArchivePath = path;
  std::optional<ArchiveListing> shown;

  const MainWindowState state = RefreshMainWindow(context_, shown);
  EXPECT_EQ(state.errorText, "");
  EXPECT_FALSE(state.listCleared);
  EXPECT_TRUE(state.archiveCommandsEnabled);
  EXPECT_EQ(state.caption, path + " - Tovask");
  EXPECT_EQ(state.statusText, "RID1.05版压缩包，共3个文件，合计12,000字节。");
  ASSERT_TRUE(shown.has_value());
  EXPECT_EQ(SummaryTexts(shown->summary),
            (std::array<std::string, 5>{"RID1.05", "3", "12,000", "4,100", FileSizeText(path)}));
  EXPECT_EQ(shown->entries.size(), 3u);
  EXPECT_EQ(context_.currentArchivePath, path);
}

TEST_F(ListingTest, RefreshStatusShowsSixtyFourBitTotals) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  context_.currentArchivePath =
      WriteArchiveFile("big.tvk", {MakeEntry("1", kMax, 1), MakeEntry("2", kMax, 1)});
  std::optional<ArchiveListing> shown;
  const MainWindowState state = RefreshMainWindow(context_, shown);
  EXPECT_EQ(state.statusText, "RID1.05版压缩包，共2个文件，合计4,294,967,294字节。");
  ASSERT_TRUE(shown.has_value());
  EXPECT_EQ(shown->summary.totalStoredSize, 2);
}

TEST_F(ListingTest, RefreshCaptionShowsControlCharactersEscaped) {
  context_.currentArchivePath = WriteArchiveFile("a\x1b[2J\nb.tvk", {MakeEntry("x", 1, 1)});
  std::optional<ArchiveListing> shown;
  const MainWindowState state = RefreshMainWindow(context_, shown);
  EXPECT_EQ(state.caption, dir_.path() + "/a\\x1b[2J\\nb.tvk - Tovask");
}

TEST_F(ListingTest, RefreshFailureForgetsTheArchive) {
  const std::string path = dir_ / "text.tvk";
  testing::WriteFile(path, std::string("XYZ 1.05\0\1\0\0\0\0\0\0\0", 17));
  context_.currentArchivePath = path;
  std::optional<ArchiveListing> shown = ArchiveListing{// an earlier archive
                                                       {MakeEntry("old", 9999, 999)},
                                                       {"RID1.05", 9, 9999, 999, 1999}};

  const MainWindowState state = RefreshMainWindow(context_, shown);
  EXPECT_EQ(state.errorText.rfind("51:", 0), 0u) << state.errorText;
  EXPECT_EQ(state.errorText, CurrentErrorLog(context_));
  EXPECT_TRUE(state.listCleared);
  EXPECT_FALSE(shown.has_value());
  EXPECT_EQ(context_.currentArchivePath, "");
  EXPECT_EQ(state.caption, "Tovask");
  EXPECT_EQ(state.statusText, "");
  EXPECT_FALSE(state.archiveCommandsEnabled);

  // The information window after the failure shows blank figures, not the earlier ones.
  const ArchiveInformation info = DescribeArchive(context_.currentArchivePath, nullptr);
  EXPECT_EQ(info.lines[2], "  文件总数：" + std::string(30, ' '));
}

TEST_F(ListingTest, RefreshWithoutArchiveLeavesTheListing) {
  context_.currentArchivePath = "";
  for (const bool listedBefore : {false, true}) {
    std::optional<ArchiveListing> shown;
    if (listedBefore) shown = ArchiveListing{{MakeEntry("kept", 1, 1)}, {"RID1.05", 1, 1, 1, 1}};
    const MainWindowState state = RefreshMainWindow(context_, shown);
    EXPECT_EQ(state.caption, "Tovask");
    EXPECT_EQ(state.statusText, "");
    EXPECT_FALSE(state.archiveCommandsEnabled);
    EXPECT_FALSE(state.listCleared);
    EXPECT_EQ(state.errorText, "");
    EXPECT_EQ(shown.has_value(), listedBefore);
    if (listedBefore) {
      EXPECT_EQ(shown->entries[0].path, "kept");
    }
  }
}

TEST_F(ListingTest, InformationFromAListedArchive) {
  const std::string path = WriteArchiveFile("info.tvk", {MakeEntry("a", 2, 1)});
  context_.currentArchivePath = path;
  std::optional<ArchiveListing> shown;
  ASSERT_TRUE(RefreshMainWindow(context_, shown).errorText.empty()) << context_.errorLog;
  ASSERT_TRUE(shown.has_value());
  const ArchiveInformation info = DescribeArchive(path, &shown->summary);
  // The header and index make a tiny archive far larger than its content.
  const auto size = static_cast<std::int64_t>(std::filesystem::file_size(path));
  EXPECT_EQ(info.ratioPercent, static_cast<int>(size * 100 / 2));
  EXPECT_EQ(info.barPosition, 100);
  EXPECT_EQ(info.lines[0], "    文件名：" + std::string(22, ' ') + "info.tvk");
}

}  // namespace
}  // namespace tovask
