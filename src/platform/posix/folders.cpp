#include "platform/folders.h"

#include "platform/files.h"
#include "platform/paths.h"

namespace tovask::platform {

bool EnsureFolderPath(std::string& folder) {
  if (folder.size() > 1 && folder.back() == kSeparator) folder.pop_back();
  if (!IsAbsolutePath(folder)) return false;
  std::size_t position = 1;  // past the root
  while (position <= folder.size()) {
    std::size_t next = folder.find(kSeparator, position);
    if (next == std::string::npos) next = folder.size();
    if (next > position) {
      const std::string soFar = folder.substr(0, next);
      if (!FolderExists(soFar) && !CreateFolder(soFar)) return false;
    }
    position = next + 1;
  }
  return true;
}

}  // namespace tovask::platform
