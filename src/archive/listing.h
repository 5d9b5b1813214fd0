// The archive listing as data: the entries of one archive as typed values in index order, the
// summary figures as numbers, and the list's columns. A cell's text is made only when it is
// asked for (ListCellText), so a list view of 100,000 rows keeps no string per cell and sorts
// sizes and times by their values. The desktop program's list model and tvk show them; how the
// main window and the information window present them is the application layer's (app/).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/format.h"
#include "core/app_context.h"

namespace tovask {

inline constexpr int kListColumnCount = 7;

// The list's columns in display order.
enum ListColumnId : int {
  ColumnPath = 0,
  ColumnOriginalSize = 1,
  ColumnStoredSize = 2,
  ColumnTime = 3,
  ColumnEncrypted = 4,
  ColumnAttributes = 5,
  ColumnMd5 = 6,
};

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

// The display text of one cell: path (control characters escaped, see
// EscapeControlCharacters), sizes with thousands separators, time, "Y" when encrypted,
// attribute letters, MD5 in upper case; "" for a column outside 0..6. The path cell is not the
// entry's name when the name holds a control character: commands on a row take the name from
// the entry itself (ArchiveEntry::path).
[[nodiscard]] std::string ListCellText(const ArchiveEntry& entry, int column);
// The same text appended to out, for a printer that fills one buffer with many rows.
void AppendListCellText(std::string& out, const ArchiveEntry& entry, int column);

using ListRow = std::array<std::string, kListColumnCount>;
// All seven cells of one row, for a printer that shows every cell at once.
[[nodiscard]] ListRow ListRowCells(const ArchiveEntry& entry);

// The five figures of a listing: magic + version ("RID1.05"), entry count, total original
// size, total stored size (totals summed in 64 bits) and the archive file's size (0 when the
// file system no longer tells it).
struct ArchiveSummary {
  std::string version;
  std::int64_t entryCount = 0;
  std::int64_t totalOriginalSize = 0;
  std::int64_t totalStoredSize = 0;
  std::int64_t archiveFileSize = 0;
  friend bool operator==(const ArchiveSummary&, const ArchiveSummary&) = default;
};

// The five figures as shown: the version as it is, the four numbers with thousands separators.
[[nodiscard]] std::array<std::string, 5> SummaryTexts(const ArchiveSummary& summary);

// One archive as listed. entries[k] is shown in row k and is the entry with the 1-based index
// (the row's item value) k + 1.
struct ArchiveListing {
  std::vector<ArchiveEntry> entries;
  ArchiveSummary summary;
};

// Clears the error log, loads the archive (index only), fills listing with its entries and
// summary, and empties the index again. On false listing is untouched and the error log holds
// the reader's messages. User-interface thread (or tvk's one thread); reads the file only.
[[nodiscard]] bool ListArchive(AppContext& context, const std::string& path,
                               ArchiveListing& listing);

}  // namespace tovask
