// Texts and rules of the main window's commands that need no widget: the delete confirmation,
// the drop confirmation and the splitting of a drop's text into paths, and the selection count
// in the status bar. User-interface thread only; nothing here keeps state or uses Qt types.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

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

}  // namespace tovask
