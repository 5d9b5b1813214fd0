#include "app/temporary_copies.h"

#include <unordered_set>
#include <utility>

#include "archive/entry_names.h"
#include "core/messages.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/temporary_folders.h"

namespace tovask {
namespace {

constexpr std::string_view kRunFolderPrefix = "tovask-";
// A numbered level that exists already (something else wrote into the folder) is passed by;
// this many in a row end the attempt.
constexpr unsigned kAttempts = 100;

void Failed(AppContext& context, const std::string& folder) {
  ClearErrorLog(context);
  ErrorText(context, ErrorCode::ExtractCreateFolder, {folder});
}

}  // namespace

TemporaryCopies::TemporaryCopies(std::string parent) : parent_(std::move(parent)) {}

TemporaryCopies::~TemporaryCopies() {
  if (!root_.empty()) (void)platform::RemoveTree(root_);
}

std::optional<std::string> TemporaryCopies::NewFolder(AppContext& context) {
  if (!root_.empty() && !platform::FolderExists(root_)) root_.clear();
  if (root_.empty()) {
    if (parent_.empty()) parent_ = platform::TemporaryFilesFolder();
    std::optional<std::string> made = platform::CreateUniqueFolder(parent_, kRunFolderPrefix);
    if (!made) {
      Failed(context, platform::JoinPath(parent_, std::string(kRunFolderPrefix) + "XXXXXX"));
      return std::nullopt;
    }
    root_ = std::move(*made);
  }
  std::string folder;
  for (unsigned attempt = 0; attempt < kAttempts; ++attempt) {
    folder = platform::JoinPath(root_, std::to_string(next_++));
    if (platform::CreatePrivateFolder(folder)) return folder;
    if (!platform::PathExists(folder)) break;
  }
  Failed(context, folder);
  return std::nullopt;
}

std::string ExtractedPath(std::string_view folder, std::string_view entryName) {
  return platform::JoinPath(folder, EntryNameToNative(entryName));
}

std::optional<std::string> OpenableCopy(std::string_view folder, std::string_view entryName) {
  std::string path = ExtractedPath(folder, entryName);
  const std::optional<platform::FileInfo> info = platform::StatPath(path);
  if (!info || !info->isRegular || info->isLink) return std::nullopt;
  // A copy left writable still opens: read-only is a courtesy, not a condition.
  (void)platform::SetReadOnly(path, true);
  return path;
}

std::vector<std::string> DraggedPaths(std::string_view folder,
                                      const std::vector<std::string>& entryNames) {
  std::vector<std::string> paths;
  std::unordered_set<std::string_view> seen;  // first levels, viewing into entryNames
  for (const std::string& name : entryNames) {
    const std::string_view first = std::string_view(name).substr(0, name.find('\\'));
    if (!seen.insert(first).second) continue;
    std::string path = ExtractedPath(folder, first);
    if (platform::PathExists(path)) paths.push_back(std::move(path));
  }
  return paths;
}

}  // namespace tovask
