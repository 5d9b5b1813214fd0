// The new-archive window's logic that needs no widget: the rows of its source list, the
// archive name it suggests (SuggestArchiveName) and the checks of its "压缩" button. The window
// keeps a SourceRows as its list's data and calls these on the user-interface thread; nothing
// here keeps state or uses Qt types.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovask {

// The icon a source row shows: icon 0 for a file, icon 1 for a folder.
enum class SourceKind { File = 0, Folder = 1 };

// One row of the source list: the full path of a file or folder as the user chose it.
struct SourceRow {
  std::string path;
  SourceKind kind = SourceKind::File;
  friend bool operator==(const SourceRow&, const SourceRow&) = default;
};
using SourceRows = std::vector<SourceRow>;

// The messages of "压缩" (information icon, flags 64, no title of their own).
inline constexpr std::string_view kNoSourcesMessage = "请先添加要压缩的文件夹或文件。";
inline constexpr std::string_view kNoTargetMessage = "请设置要压缩到的压缩文件名。";

// "添加文件夹": appends folder as a folder row; the same folder may be listed more than once.
// "" (the folder browser was cancelled) appends nothing.
void AddFolderRow(SourceRows& rows, const std::string& folder);

// "添加文件": appends each path in order as a file row unless some row (a folder row or a path
// appended earlier in the same call included) already holds exactly this text; "" is skipped.
void AddFileRows(SourceRows& rows, const std::vector<std::string>& files);

// The icon of a dropped path: a folder only when its file-attribute value is exactly the
// directory attribute, that is a folder that is writable by its owner and whose name does not
// start with "." (a read-only or hidden folder shows the file icon, as does a path that no
// longer exists). Reads the path's attributes from the file system.
[[nodiscard]] SourceKind DroppedSourceKind(const std::string& path);

// A drop: appends each path in order with DroppedSourceKind's icon; duplicates are kept.
void AddDroppedRows(SourceRows& rows, const std::vector<std::string>& paths);

// "删除": removes the rows with the given numbers (0-based, any order); numbers outside the
// list and repeated numbers are ignored. The other rows keep their order.
void DeleteRows(SourceRows& rows, std::vector<int> selected);

// SuggestArchiveName: the archive name suggested for the rows. The source row is currentRow
// when it is greater than 0 (and a row), otherwise row 0 (no row current: currentRow -1). Its
// path up to and including the last "." followed by "tvk"; without a "." the path without
// leading and trailing blanks (and trailing separators, so a folder "D/photos/" suggests
// "D/photos.tvk", not a hidden file inside it) followed by ".tvk". The last "." counts wherever
// it stands, also in a folder level: "/backup.old/data" suggests "/backup.tvk". nullopt when
// the list is empty: the target box then keeps its text.
[[nodiscard]] std::optional<std::string> SuggestArchiveName(const SourceRows& rows, int currentRow);

// The check of "压缩": kNoSourcesMessage without rows, kNoTargetMessage with an empty target,
// "" when the archive can be made. The target is used as it is (no extension added).
[[nodiscard]] std::string_view NewArchiveInputProblem(const SourceRows& rows,
                                                      const std::string& target);

// The request's items: the rows' paths from the first row to the last.
[[nodiscard]] std::vector<std::string> SourcePaths(const SourceRows& rows);

}  // namespace tovask
