#include "platform/paths.h"

#include "platform/files.h"

namespace tovask::platform {
namespace {

namespace fs = std::filesystem;

// path without closing separators; the root stays the root.
std::string_view WithoutClosingSeparators(std::string_view path) {
  while (path.size() > 1 && path.back() == kSeparator) path.remove_suffix(1);
  return path;
}

}  // namespace

bool IsAbsolutePath(std::string_view path) { return fs::path(path).is_absolute(); }

std::string AbsoluteNormalPath(std::string_view path, std::string_view base) {
  fs::path combined;
  if (IsAbsolutePath(path)) {
    combined = path;
  } else {
    std::string absoluteBase;
    if (IsAbsolutePath(base)) {
      absoluteBase = base;
    } else {
      // Never guess "/" for an unknown working folder: "" makes the caller refuse the path.
      const std::string cwd = CurrentDirectory();
      if (cwd.empty()) return "";
      absoluteBase = base.empty() ? cwd : JoinPath(cwd, base);
    }
    combined = fs::path(absoluteBase) / path;
  }
  // lexically_normal resolves "." and ".." (".." above the root stays at the root) and
  // repeated separators, but ends "x/", "x/." and "x/.." alike with a separator, and keeps
  // "//" as it is. Only a separator that closes the caller's own text means "inside".
  std::string result = combined.lexically_normal().string();
  while (result.size() > 1 && result.back() == kSeparator) result.pop_back();
  if (!path.empty() && path.back() == kSeparator && result.size() > 1) result.push_back(kSeparator);
  return result;
}

std::string ParentFolder(std::string_view path) {
  const fs::path whole(WithoutClosingSeparators(path));
  if (!whole.has_relative_path()) return whole.empty() ? "." : whole.string();  // the root
  const fs::path parent = whole.parent_path();
  return parent.empty() ? "." : parent.string();
}

std::string LastLevel(std::string_view path) {
  const fs::path whole(WithoutClosingSeparators(path));
  return whole.has_relative_path() ? whole.filename().string() : std::string();
}

std::string FileName(std::string_view path) { return fs::path(path).filename().string(); }

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string result(folder);
  if (result.empty() || result.back() != kSeparator) result += kSeparator;
  result += name;
  return result;
}

std::string SiblingPath(std::string_view path, std::string_view name) {
  return fs::path(path).replace_filename(name).string();
}

}  // namespace tovask::platform
