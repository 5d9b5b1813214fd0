#include "operations/source_collection.h"

#include <cstdint>
#include <set>
#include <string_view>
#include <utility>

#include "archive/entry_names.h"
#include "core/message_codes.h"
#include "core/messages.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace tovask {
namespace {

using platform::kSeparator;

// Identity of a real folder, whatever path reached it.
using FolderId = std::pair<std::uint64_t, std::uint64_t>;  // device, inode

// The entry name of a native relative path, or "" when an entry cannot hold it so that
// extraction gives the same file back.
std::string EntryNameOf(std::string_view relative) {
  std::string name;
  name.reserve(relative.size());
  for (char c : relative) {
    // "\" would become a level separator inside the archive, and entries with "?" are
    // skipped by extraction.
    if (c == '\\' || c == '?') return "";
    name.push_back(c == kSeparator ? '\\' : c);
  }
  return IsSafeEntryName(name) ? name : "";
}

// A folder path as messages show it: without a closing separator ("Data/" given as a source).
std::string FolderForMessage(const std::string& folder) {
  if (folder.size() > 1 && folder.back() == kSeparator) {
    return folder.substr(0, folder.size() - 1);
  }
  return folder;
}

class FolderWalker {
 public:
  FolderWalker(AppContext& context, ProgressSink* events, std::vector<std::string>& walkList)
      : context_(context), events_(events), walkList_(walkList) {}

  // Appends the files below root to the walk list in walk order. False after a message.
  bool Walk(const std::string& root, const platform::FileInfo& rootInfo) {
    // Depth first with an explicit stack (a deep tree cannot exhaust the call stack).
    // Subfolders are pushed in reverse order so they come off in sorted order; the
    // visited check happens when a folder is taken, as a recursive walk would do it.
    std::vector<std::pair<std::string, FolderId>> pending;
    pending.emplace_back(root, FolderId{rootInfo.device, rootInfo.inode});
    while (!pending.empty()) {
      auto [folder, id] = std::move(pending.back());
      pending.pop_back();
      if (!visited_.insert(id).second) continue;  // reached again through a link
      if (events_ != nullptr && !events_->ProcessEvents()) {
        ErrorText(context_, ErrorCode::Interrupted);
        return false;
      }
      const auto names = platform::ListFolder(folder);
      if (!names) {
        ErrorText(context_, ErrorCode::FolderUnreadable, {FolderForMessage(folder)});
        return false;
      }
      std::vector<std::pair<std::string, FolderId>> subfolders;
      for (const std::string& name : *names) {
        std::string path = platform::JoinPath(folder, name);
        const auto info = platform::StatPath(path);
        if (!info) continue;  // a dangling link, or gone since the listing
        if (info->isRegular) {
          walkList_.push_back(std::move(path));
        } else if (info->isDirectory && name.front() != '.') {
          subfolders.emplace_back(std::move(path), FolderId{info->device, info->inode});
        }
        // Anything else (FIFO, socket, device) has no content to store.
      }
      for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it) {
        pending.push_back(std::move(*it));
      }
    }
    return true;
  }

 private:
  AppContext& context_;
  ProgressSink* events_;
  std::vector<std::string>& walkList_;
  std::set<FolderId> visited_;
};

bool CollectInto(AppContext& context, const std::vector<std::string>& sources, SourceSet& set,
                 ProgressSink* events) {
  bool namesOk = true;
  // Records one collected file, or reports why its name cannot be stored.
  auto add = [&](std::string fullPath, std::string_view relative) {
    std::string name = EntryNameOf(relative);
    if (name.empty()) {
      ErrorText(context, ErrorCode::NameNotStorable, {fullPath});
      namesOk = false;
      return;
    }
    set.relativeNames.push_back(std::move(name));
    set.fullPaths.push_back(std::move(fullPath));
  };

  std::vector<std::string> walkList;
  for (const std::string& given : sources) {
    if (!platform::IsAbsolutePath(given)) {
      ErrorText(context, ErrorCode::PathNotAbsolute, {given});
      return false;
    }
    // Callers hand over normal paths already; normalising again is cheap and keeps a source
    // such as "/." or "/a//" from cutting names into an empty or a "." first level.
    const std::string source = platform::AbsoluteNormalPath(given, "");
    const auto info = platform::StatPath(source);
    if (!info) {
      ErrorText(context, ErrorCode::SourceMissing, {source});
      return false;
    }
    if (info->isDirectory) {
      // Characters to cut from each found path: all of a source that ends with the
      // separator (names start inside it), otherwise up to its last separator (the
      // folder's own name stays the first level).
      const std::size_t cut = source.size() - platform::FileName(source).size();
      walkList.clear();
      FolderWalker walker(context, events, walkList);
      if (!walker.Walk(source, *info)) return false;
      for (std::string& path : walkList) {
        const std::string relative = path.substr(cut);
        add(std::move(path), relative);
      }
      walkList.clear();
    } else if (info->isRegular) {
      add(source, platform::FileName(source));
    }
    // A FIFO, socket or device given as a source has no content to store: it is passed
    // over as the walk passes over them.
  }
  return namesOk;
}

}  // namespace

bool CollectSources(AppContext& context, const std::vector<std::string>& sources, SourceSet& set,
                    ProgressSink* events) {
  set = SourceSet{};
  if (!CollectInto(context, sources, set, events)) {
    set = SourceSet{};
    return false;
  }
  set.count = static_cast<int>(set.fullPaths.size());
  return true;
}

}  // namespace tovask
