// Small helpers shared by the POSIX implementation files; not part of the platform interface.
#pragma once

#include <errno.h>

#include <string>
#include <string_view>

namespace tovask::platform::posix {

// Repeats a system call while it is interrupted by a signal.
template <typename Call>
auto RetryOnEintr(Call call) {
  for (;;) {
    auto result = call();
    if (!(result == -1 && errno == EINTR)) return result;
  }
}

// The folder part of a path: everything before the last separator ("/" for "/x", "." for a
// name without a separator).
inline std::string ParentFolder(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return ".";
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

// The last level of a path (trailing separators ignored).
inline std::string LastLevel(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// folder + "/" + name without doubling the separator.
inline std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string result(folder);
  if (result.empty() || result.back() != '/') result += '/';
  result += name;
  return result;
}

}  // namespace tovask::platform::posix
