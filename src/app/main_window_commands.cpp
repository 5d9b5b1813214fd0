#include "app/main_window_commands.h"

#include <algorithm>

#include "archive/listing.h"
#include "core/display_text.h"

namespace tovask {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

}  // namespace

std::string DeleteConfirmationText(std::size_t count) {
  return std::string("你确定要删除").append(std::to_string(count)).append("个文件？");
}

std::string DropConfirmationText(const std::vector<std::string>& paths) {
  std::string text = "你要添加以下文件吗？";
  text += kLineEnd;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (i > 0) text += kLineEnd;
    text += EscapeControlCharacters(paths[i]);
  }
  return text;
}

std::vector<std::string> SplitDropText(std::string_view text) {
  std::vector<std::string> paths;
  while (!text.empty()) {
    const std::size_t end = text.find(kLineEnd);
    const std::string_view line = text.substr(0, end);
    if (!line.empty()) paths.emplace_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + kLineEnd.size());
  }
  return paths;
}

std::string SelectionStatusText(std::size_t count) {
  return std::string("已选择了").append(std::to_string(count)).append("个文件。");
}

std::vector<int> RowsOfRanges(std::vector<RowRange> ranges) {
  std::sort(ranges.begin(), ranges.end(),
            [](const RowRange& a, const RowRange& b) { return a.first < b.first; });
  std::vector<int> rows;
  int next = 0;  // the first row not taken yet, once rows holds one
  for (const RowRange& range : ranges) {
    int row = rows.empty() ? range.first : std::max(range.first, next);
    for (; row <= range.last; ++row) rows.push_back(row);
    if (!rows.empty()) next = std::max(next, rows.back() + 1);
  }
  return rows;
}

std::vector<RowRange> FindMatchingRows(const std::vector<ArchiveEntry>& entries,
                                       std::string_view text) {
  std::vector<RowRange> runs;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (ListCellText(entries[i], ColumnPath).find(text) == std::string::npos) continue;
    const int row = static_cast<int>(i);
    if (!runs.empty() && runs.back().last == row - 1) {
      runs.back().last = row;
    } else {
      runs.push_back({row, row});
    }
  }
  return runs;
}

}  // namespace tovask
