#include "platform/temporary_folders.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace tovask::platform {
namespace {

bool Injected(FileOp op, const std::string& path) {
  const int fault = InjectedFault(op, path);
  if (fault == 0) return false;
  errno = fault;
  return true;
}

// The names in a folder without "." and ".."; what could be read when reading fails part-way
// (the removal of the folder itself then tells). Fault hook: ReadFolder (the folder).
std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  if (Injected(FileOp::ReadFolder, folder)) return names;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

}  // namespace

std::string TemporaryFilesFolder() {
  const char* tmpdir = std::getenv("TMPDIR");
  if (tmpdir != nullptr && IsAbsolutePath(tmpdir) && FolderExists(tmpdir)) {
    std::string folder = AbsoluteNormalPath(tmpdir, "/");
    if (folder.size() > 1 && folder.back() == kSeparator) folder.pop_back();
    return folder;
  }
  return "/tmp";
}

std::optional<std::string> CreateUniqueFolder(const std::string& parent, std::string_view prefix) {
  if (Injected(FileOp::CreateFolder, parent)) return std::nullopt;
  std::string pattern = JoinPath(parent, std::string(prefix) + "XXXXXX");
  if (::mkdtemp(pattern.data()) == nullptr) return std::nullopt;
  return pattern;
}

bool CreatePrivateFolder(const std::string& path) {
  if (Injected(FileOp::CreateFolder, path)) return false;
  return ::mkdir(path.c_str(), 0700) == 0;
}

bool RemoveTree(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) {
    if (Injected(FileOp::Remove, path)) return false;
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
  }
  // Listing needs read and search permission, removing the names write permission.
  if ((st.st_mode & S_IRWXU) != S_IRWXU && !Injected(FileOp::SetMode, path))
    (void)::chmod(path.c_str(), (st.st_mode & 07777) | S_IRWXU);
  bool removed = true;
  for (const std::string& name : NamesIn(path))
    removed = RemoveTree(JoinPath(path, name)) && removed;
  if (Injected(FileOp::Remove, path)) return false;
  return (::rmdir(path.c_str()) == 0 || errno == ENOENT) && removed;
}

}  // namespace tovask::platform
