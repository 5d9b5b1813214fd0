// The overwrite window's help ("帮助(&H)"): one box with the information icon (flags 64) and
// the title "帮助" that explains the seven answers. User-interface thread only; no Qt types.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tovask {

inline constexpr std::string_view kOverwriteHelpTitle = "帮助";

// The help's lines in the order shown.
inline constexpr std::array<std::string_view, 7> kOverwriteHelpLines = {
    "是：覆盖当前文件",
    "否：保留当前文件",
    "全部选是：全部覆盖",
    "全部选否：全部保留",
    "取消：取消解压操作",
    "重命名：使用新的名字解压",
    "全部重命名：自动生成新的文件名",
};

// The seven lines joined by lineEnd: CR LF in the window's box, "\n" on a terminal. No line end
// after the last line.
[[nodiscard]] std::string OverwriteHelpText(std::string_view lineEnd = "\r\n");

}  // namespace tovask
