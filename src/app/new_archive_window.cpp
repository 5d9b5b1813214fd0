#include "app/new_archive_window.h"

#include <algorithm>
#include <cstddef>

#include "platform/files.h"
#include "platform/paths.h"

namespace tovask {

void AddFolderRow(SourceRows& rows, const std::string& folder) {
  if (folder.empty()) return;
  rows.push_back({folder, SourceKind::Folder});
}

void AddFileRows(SourceRows& rows, const std::vector<std::string>& files) {
  for (const std::string& file : files) {
    if (file.empty()) continue;
    const bool listed = std::any_of(rows.begin(), rows.end(),
                                    [&file](const SourceRow& row) { return row.path == file; });
    if (!listed) rows.push_back({file, SourceKind::File});
  }
}

SourceKind DroppedSourceKind(const std::string& path) {
  // The attribute value is the directory bit alone only for a folder that is neither
  // read-only (no write permission for the owner) nor hidden (a name starting with ".").
  const std::optional<platform::FileInfo> info = platform::StatPath(path);
  if (!info || !info->isDirectory || !info->ownerWritable) return SourceKind::File;
  return platform::FileName(path).starts_with('.') ? SourceKind::File : SourceKind::Folder;
}

void AddDroppedRows(SourceRows& rows, const std::vector<std::string>& paths) {
  for (const std::string& path : paths) rows.push_back({path, DroppedSourceKind(path)});
}

void DeleteRows(SourceRows& rows, std::vector<int> selected) {
  std::sort(selected.begin(), selected.end());
  selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
  // From the last to the first, so that each removal leaves the lower numbers in place.
  for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
    if (*it >= 0 && static_cast<std::size_t>(*it) < rows.size()) rows.erase(rows.begin() + *it);
  }
}

std::optional<std::string> SuggestArchiveName(const SourceRows& rows, int currentRow) {
  if (rows.empty()) return std::nullopt;
  const std::size_t source =
      currentRow > 0 && static_cast<std::size_t>(currentRow) < rows.size() ? currentRow : 0;
  const std::string& name = rows[source].path;

  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) return name.substr(0, dot + 1).append("tvk");

  std::string_view trimmed = name;
  while (!trimmed.empty() && trimmed.front() == ' ') trimmed.remove_prefix(1);
  while (!trimmed.empty() && trimmed.back() == ' ') trimmed.remove_suffix(1);
  while (trimmed.size() > 1 && trimmed.back() == platform::kSeparator) trimmed.remove_suffix(1);
  return std::string(trimmed).append(".tvk");
}

std::string_view NewArchiveInputProblem(const SourceRows& rows, const std::string& target) {
  if (rows.empty()) return kNoSourcesMessage;
  if (target.empty()) return kNoTargetMessage;
  return {};
}

std::vector<std::string> SourcePaths(const SourceRows& rows) {
  std::vector<std::string> paths;
  paths.reserve(rows.size());
  for (const SourceRow& row : rows) paths.push_back(row.path);
  return paths;
}

}  // namespace tovask
