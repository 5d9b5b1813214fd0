// The archive listing as data: the texts of the list's columns and rows, the summary kept for
// the information window, the caption, the status-bar text and which commands are enabled.
// The desktop program puts them into widgets; tvk prints them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archive/format.h"
#include "core/app_context.h"

namespace tovask {

inline constexpr int kListColumnCount = 7;
inline constexpr std::string_view kProductName = "Tovask";

// Groups of three digits separated by ",": 0, 999, 1,000, 1,234,567. Negative values keep
// their sign in front of the first group.
[[nodiscard]] std::string FormatWithThousands(std::int64_t n);

struct ListColumn {
  std::string title;
  int width = 0;
  int alignment = 0;  // 0 left, 2 centred
};
// The seven columns; titles are title 51 split at ",". An edited message file with fewer
// parts leaves the remaining titles "", extra parts are not shown.
[[nodiscard]] std::vector<ListColumn> ListColumns(const AppContext& context);

// "2004-03-05 07:08:09"; "" for a value that is not a valid date-time.
[[nodiscard]] std::string FormatListTime(double dateTime);
// Letters of the set attribute flags in the order A R H S.
[[nodiscard]] std::string AttributeLetters(std::uint8_t flags);

using ListRow = std::array<std::string, kListColumnCount>;
// The seven cell texts of one entry, for display: path (control characters escaped, see
// EscapeControlCharacters), sizes with thousands separators, time, "Y" when encrypted,
// attribute letters, MD5 in upper case. The path cell is not the entry's name when the name
// holds a control character: commands on an entry take its name from the index
// (ArchiveEntry::path), found by the row's item value.
[[nodiscard]] ListRow ListRowCells(const ArchiveEntry& entry);

// Where ListArchive puts its rows: the main window's list, tvk's output, a test.
class ListSink {
 public:
  virtual ~ListSink() = default;
  // Called once before the rows: forget every row and column, then take these columns.
  virtual void Begin(const std::vector<ListColumn>& columns) = 0;
  // One row per entry in index order; itemValue is the entry's 1-based index, cells are the
  // display texts of ListRowCells.
  virtual void AddRow(int itemValue, const ListRow& cells) = 0;
  // Called once after the last row.
  virtual void End() = 0;
};

// The five figures of the last successful listing, as texts: magic + version ("RID1.05"),
// entry count, total original size, total stored size, archive file size (all with thousands
// separators; totals summed in 64 bits). Empty before the first listing.
struct ArchiveSummary {
  std::vector<std::string> items;
};

// The summary joined with "|" and split again, as the listing hands it over.
[[nodiscard]] std::string JoinSummary(const ArchiveSummary& summary);
[[nodiscard]] ArchiveSummary SplitSummary(const std::string& text);

// Clears the error log, loads the archive (index only), fills the list (when given) and the
// summary text (when given), and empties the index again. On false the list is untouched and
// the error log holds the reader's messages.
[[nodiscard]] bool ListArchive(AppContext& context, const std::string& path, ListSink* list,
                               std::string* summaryText);

// What the main window shows after a reload.
struct MainWindowState {
  std::string caption;     // "Tovask", or path + " - Tovask"
  std::string statusText;  // status-bar part 1
  bool archiveCommandsEnabled = false;
  bool listCleared = false;  // the reload failed: empty the list
  std::string errorText;     // non-empty: show it in a box titled "错误"
};

// The main window's reload. No archive (currentArchivePath ""): caption "Tovask", status
// text "", commands disabled; list and summary are left as they are. Otherwise the archive is
// listed into list and summary: caption path (control characters escaped) + " - Tovask", the
// status text names the version, the entry count and the total original size, commands
// enabled. On failure the list is not touched by the call (listCleared asks the window to
// empty it), errorText holds the error log for the box, currentArchivePath becomes "", the
// summary is emptied (so the information window never shows figures of an archive that is no
// longer current) and the state is the no-archive one, since no archive is current any more.
[[nodiscard]] MainWindowState RefreshMainWindow(AppContext& context, ListSink* list,
                                                ArchiveSummary& summary);

// The seven lines of the information window: each a 12-byte caption and the value
// right-aligned in a field of exactly 30 GBK bytes. A longer value loses its beginning, cut on
// a character boundary; when the cut would split a two-byte character, a blank takes its
// place. Values: the last level of archivePath (control characters escaped), the five summary
// items, the ratio + "%".
// Missing summary items show as blank fields; a summary whose sizes do not read as numbers,
// or a total size of 0, gives the ratio 0 ("0%"). Never fails.
struct ArchiveInformation {
  std::array<std::string, 7> lines;
  // archive size * 100 / total original size, truncated (64-bit, saturating at the int
  // maximum); 0 when there is no data. Line 7 shows the unsaturated figure.
  int ratioPercent = 0;
  int barPosition = 0;  // ratio limited to 0..100
};
[[nodiscard]] ArchiveInformation DescribeArchive(const std::string& archivePath,
                                                 const ArchiveSummary& summary);

}  // namespace tovask
