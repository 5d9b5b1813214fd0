// Texts and rules of the main window's commands that need no widget: the delete confirmation,
// the drop confirmation and the splitting of a drop's text into paths, the selection count in
// the status bar, the rows a selection covers and the rows "查找" selects. User-interface thread
// only; nothing here keeps state or uses Qt types.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "archive/format.h"

namespace tovask {

// The box that confirms "删除" (warning icon with OK and Cancel, flags 49).
inline constexpr std::string_view kDeleteConfirmTitle = "确认";
// "你确定要删除" + count + "个文件？", e.g. "你确定要删除3个文件？".
[[nodiscard]] std::string DeleteConfirmationText(std::size_t count);

// The box that confirms a drop onto the main list (information icon with OK and Cancel,
// flags 65).
inline constexpr std::string_view kDropConfirmTitle = "添加文件";
// "你要添加以下文件吗？", CR LF, then the dropped paths one per line (joined by CR LF). Control
// characters in a path are shown escaped (EscapeControlCharacters), so a name holding a line
// break can neither hide a path nor show one that was not dropped; the request carries the
// paths themselves.
[[nodiscard]] std::string DropConfirmationText(const std::vector<std::string>& paths);

// The paths of a drop delivered as one text, one path per line (lines separated by CR LF, as
// in text/uri-list). Empty lines, such as the one after a final CR LF, are no paths. A lone CR
// or LF belongs to the path it stands in.
[[nodiscard]] std::vector<std::string> SplitDropText(std::string_view text);

// Status-bar part 0 after the selection changed: "已选择了" + count + "个文件。".
[[nodiscard]] std::string SelectionStatusText(std::size_t count);

// A run of list rows, both ends included.
struct RowRange {
  int first = 0;
  int last = 0;
  friend bool operator==(const RowRange&, const RowRange&) = default;
};

// The rows the ranges cover, each once and in ascending order, whatever the ranges' order and
// overlaps (a list view's selection is kept as such ranges); a range with last < first covers
// nothing. The count of selected rows and the names of the selected rows come from it.
[[nodiscard]] std::vector<int> RowsOfRanges(std::vector<RowRange> ranges);

// "查找": the rows whose first-column text (ListCellText of the path column) contains text,
// case-sensitively, as runs of consecutive rows in ascending order. The list selects exactly
// these rows and deselects the others; "" matches every row.
[[nodiscard]] std::vector<RowRange> FindMatchingRows(const std::vector<ArchiveEntry>& entries,
                                                     std::string_view text);

}  // namespace tovask
