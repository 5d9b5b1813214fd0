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

// The user's home folder: $HOME when it is absolute, else the password database's; "" when
// neither tells.
[[nodiscard]] std::string HomeDirectory();

// An XDG base folder: the variable's value when it is an absolute path, else belowHome in the
// home folder ("" without one).
[[nodiscard]] std::string XdgBaseDirectory(const char* variable, std::string_view belowHome);

}  // namespace tovask::platform::posix
