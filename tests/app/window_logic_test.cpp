// The windows' logic that needs no widget: new-archive rows and name suggestion, the main
// window's confirmation texts and drop splitting, the progress window's geometry, the overwrite
// window's help.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include "app/main_window_commands.h"
#include "app/new_archive_window.h"
#include "app/overwrite_window.h"
#include "app/progress_window.h"
#include "support/temp_dir.h"

namespace tovask {
namespace {

using Paths = std::vector<std::string>;

SourceRows FileRows(const Paths& paths) {
  SourceRows rows;
  for (const std::string& path : paths) rows.push_back({path, SourceKind::File});
  return rows;
}

// ---- New-archive window ------------------------------------------------------------------

TEST(SuggestArchiveNameTest, NameFromTheSourceRow) {
  const struct {
    Paths rows;
    int currentRow;
    std::optional<std::string> suggestion;
  } cases[] = {
      {{"/docs/report.txt"}, -1, "/docs/report.tvk"},
      {{"/photos"}, 0, "/photos.tvk"},
      {{"/backup.old/data"}, -1, "/backup.tvk"},  // the last "." counts wherever it stands
      {{"/a/archive.tvk"}, -1, "/a/archive.tvk"},
      {{"/a/name."}, -1, "/a/name.tvk"},
      {{"  /my photos  "}, -1, "/my photos.tvk"},  // blanks trimmed only without a "."
      {{" /x.txt "}, -1, " /x.tvk"},
      {{"/photos/"}, -1, "/photos.tvk"},     // never a hidden file inside the folder
      {{"/a.txt", "/b.doc"}, -1, "/a.tvk"},  // no row current: row 0
      {{"/a.txt", "/b.doc"}, 0, "/a.tvk"},
      {{"/a.txt", "/b.doc"}, 1, "/b.tvk"},
      {{"/a.txt", "/b.doc"}, 2, "/a.tvk"},  // no such row
      {{}, -1, std::nullopt},               // the target box keeps its text
      {{}, 0, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SuggestArchiveName(FileRows(c.rows), c.currentRow), c.suggestion)
        << (c.rows.empty() ? "(none)" : c.rows.back()) << " current " << c.currentRow;
  }
}

TEST(SourceRowsTest, FilesAreListedOnceFoldersAndDropsEveryTime) {
  testing::TempDir dir;
  const std::string file = dir / "a.txt";
  testing::WriteFile(file, "x");

  SourceRows rows;
  AddFileRows(rows, {file, "/b.doc", file});
  AddFileRows(rows, {"/b.doc", "", "/c.txt"});
  AddFolderRow(rows, dir.path());
  AddFolderRow(rows, dir.path());
  AddFolderRow(rows, "");           // the browser was cancelled
  AddFileRows(rows, {dir.path()});  // the same text as a folder row
  AddDroppedRows(rows, {file});
  const SourceRows expected = {
      {file, SourceKind::File},         {"/b.doc", SourceKind::File},
      {"/c.txt", SourceKind::File},     {dir.path(), SourceKind::Folder},
      {dir.path(), SourceKind::Folder}, {file, SourceKind::File},
  };
  EXPECT_EQ(rows, expected);
  EXPECT_EQ(SourcePaths(rows), (Paths{file, "/b.doc", "/c.txt", dir.path(), dir.path(), file}));
}

TEST(SourceRowsTest, DeleteRemovesTheSelectedRows) {
  const struct {
    std::vector<int> selected;
    Paths left;
  } cases[] = {
      {{1, 3}, {"0", "2", "4"}},
      {{3, 1, 3, 9, -1}, {"0", "2", "4"}},  // any order, repeats and strays ignored
      {{}, {"0", "1", "2", "3", "4"}},
      {{0, 1, 2, 3, 4}, {}},
  };
  for (const auto& c : cases) {
    SourceRows rows = FileRows({"0", "1", "2", "3", "4"});
    DeleteRows(rows, c.selected);
    EXPECT_EQ(SourcePaths(rows), c.left) << ::testing::PrintToString(c.selected);
  }
}

TEST(SourceRowsTest, DroppedFolderIconOnlyForThePlainDirectoryAttribute) {
  testing::TempDir dir;
  testing::WriteFile(dir / "file.txt", "x");
  for (const char* folder : {"plain", ".hidden", "readonly"}) {
    ASSERT_EQ(mkdir((dir / folder).c_str(), 0755), 0) << folder;
  }
  ASSERT_EQ(chmod((dir / "readonly").c_str(), 0555), 0);  // judged by the bits, also as root
  const struct {
    const char* name;
    SourceKind kind;
  } cases[] = {
      {"plain", SourceKind::Folder},  {".hidden", SourceKind::File}, {"readonly", SourceKind::File},
      {"file.txt", SourceKind::File}, {"missing", SourceKind::File},
  };
  for (const auto& c : cases) EXPECT_EQ(DroppedSourceKind(dir / c.name), c.kind) << c.name;
  ASSERT_EQ(chmod((dir / "readonly").c_str(), 0755), 0);
}

TEST(NewArchiveInputTest, SourcesFirstThenTarget) {
  const SourceRows one = FileRows({"/a.txt"});
  EXPECT_EQ(NewArchiveInputProblem({}, ""), "请先添加要压缩的文件夹或文件。");
  EXPECT_EQ(NewArchiveInputProblem({}, "/a.tvk"), "请先添加要压缩的文件夹或文件。");
  EXPECT_EQ(NewArchiveInputProblem(one, ""), "请设置要压缩到的压缩文件名。");
  EXPECT_EQ(NewArchiveInputProblem(one, "/a.tvk"), "");
}

// ---- Main window -------------------------------------------------------------------------

TEST(MainWindowTextsTest, ConfirmationsAndSelection) {
  EXPECT_EQ(DeleteConfirmationText(3), "你确定要删除3个文件？");
  EXPECT_EQ(DeleteConfirmationText(12), "你确定要删除12个文件？");
  EXPECT_EQ(SelectionStatusText(0), "已选择了0个文件。");
  EXPECT_EQ(SelectionStatusText(25), "已选择了25个文件。");
  EXPECT_EQ(DropConfirmationText({"/a/x.txt", "/b/y z"}),
            "你要添加以下文件吗？\r\n/a/x.txt\r\n/b/y z");
  // A name holding a line break cannot pass for two dropped paths.
  EXPECT_EQ(DropConfirmationText({"/a/evil\r\n/etc/forged"}),
            "你要添加以下文件吗？\r\n/a/evil\\r\\n/etc/forged");
}

TEST(SplitDropTextTest, PathsBetweenLineEnds) {
  const struct {
    std::string text;
    Paths paths;
  } cases[] = {
      {"/a/x.txt\r\n/b", {"/a/x.txt", "/b"}},
      {"/a/x.txt\r\n/b\r\n", {"/a/x.txt", "/b"}},
      {"/only", {"/only"}},
      {"", {}},
      {"\r\n\r\n/a\r\n\r\n", {"/a"}},
      {"/a\nb\r/c", {"/a\nb\r/c"}},  // a lone LF or CR is part of the name
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitDropText(c.text), c.paths) << ::testing::PrintToString(c.text);
  }
}

TEST(RowsOfRangesTest, EachRowOnceInAscendingOrder) {
  const struct {
    std::vector<RowRange> ranges;
    std::vector<int> rows;
  } cases[] = {
      {{}, {}},
      {{{3, 5}}, {3, 4, 5}},
      {{{7, 8}, {0, 1}}, {0, 1, 7, 8}},
      {{{0, 4}, {2, 6}, {3, 3}}, {0, 1, 2, 3, 4, 5, 6}},  // overlaps counted once
      {{{5, 5}, {5, 5}, {4, 6}}, {4, 5, 6}},
      {{{4, 2}, {9, 9}}, {9}},  // an inverted range covers nothing
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RowsOfRanges(c.ranges), c.rows) << ::testing::PrintToString(c.rows);
  }
}

TEST(FindMatchingRowsTest, CaseSensitiveSubstringAsRuns) {
  std::vector<ArchiveEntry> entries(6);
  const char* names[] = {"a.txt", "b.txt", "c.TXT", "d\\txt\\e.bin", "f.doc", "g.txt"};
  for (int i = 0; i < 6; ++i) entries[i].path = names[i];
  EXPECT_EQ(FindMatchingRows(entries, "txt"), (std::vector<RowRange>{{0, 1}, {3, 3}, {5, 5}}));
  EXPECT_EQ(FindMatchingRows(entries, "TXT"), (std::vector<RowRange>{{2, 2}}));
  EXPECT_EQ(FindMatchingRows(entries, ""), (std::vector<RowRange>{{0, 5}}));
  EXPECT_TRUE(FindMatchingRows(entries, "zip").empty());
  // The first column shows a control character escaped, and that is the text searched.
  entries[4].path = "line\nbreak";
  EXPECT_EQ(FindMatchingRows(entries, "\\n"), (std::vector<RowRange>{{4, 4}}));
}

// ---- Progress window ---------------------------------------------------------------------

TEST(ProgressWindowTest, LaidOutAgainstTheMainWindow) {
  const struct {
    WindowRect main;
    int height;
    ProgressWindowLayout layout;
  } cases[] = {
      {{50, 50, 810, 597},
       102,
       {{100, 297, 710, 102},
        {8, 8, 690, 16},
        {8, 24, 690, 16},
        {329, 24, 48, 16},
        {634, 48, 64, 24}}},
      // Odd sizes: every division truncated toward zero, also below zero.
      {{0, 10, 811, 51},
       102,
       {{50, -15, 711, 102},
        {8, 8, 691, 16},
        {8, 24, 691, 16},
        {329, 24, 48, 16},
        {635, 48, 64, 24}}},
      {{-300, 0, 900, 600},
       130,
       {{-250, 235, 800, 130},
        {8, 8, 780, 16},
        {8, 24, 780, 16},
        {374, 24, 48, 16},
        {724, 48, 64, 24}}},
      // Too narrow: widths stop at 0.
      {{0, 0, 80, 200},
       102,
       {{40, 49, 0, 102}, {8, 8, 0, 16}, {8, 24, 0, 16}, {-16, 24, 48, 16}, {-56, 48, 64, 24}}},
  };
  for (const auto& c : cases) {
    const ProgressWindowLayout got = LayOutProgressWindow(c.main, c.height);
    EXPECT_EQ(got.window, c.layout.window) << c.main.width;
    EXPECT_EQ(got.statusLabel, c.layout.statusLabel) << c.main.width;
    EXPECT_EQ(got.progressBar, c.layout.progressBar) << c.main.width;
    EXPECT_EQ(got.percentLabel, c.layout.percentLabel) << c.main.width;
    EXPECT_EQ(got.button, c.layout.button) << c.main.width;
  }
  EXPECT_EQ(PercentText(37), "37%");
  EXPECT_EQ(PercentText(0), "0%");
}

// ---- Overwrite window --------------------------------------------------------------------

TEST(OverwriteHelpTest, SevenLinesJoined) {
  EXPECT_EQ(OverwriteHelpText(),
            "是：覆盖当前文件\r\n否：保留当前文件\r\n全部选是：全部覆盖\r\n全部选否：全部保留\r\n"
            "取消：取消解压操作\r\n重命名：使用新的名字解压\r\n全部重命名：自动生成新的文件名");
  EXPECT_EQ(OverwriteHelpText("\n"),
            "是：覆盖当前文件\n否：保留当前文件\n全部选是：全部覆盖\n全部选否：全部保留\n"
            "取消：取消解压操作\n重命名：使用新的名字解压\n全部重命名：自动生成新的文件名");
}

}  // namespace
}  // namespace tovask
