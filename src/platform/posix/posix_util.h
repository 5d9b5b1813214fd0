// Small helpers shared by the POSIX implementation files; not part of the platform interface.
#pragma once

#include <errno.h>

namespace tovask::platform::posix {

// Repeats a system call while it is interrupted by a signal.
template <typename Call>
auto RetryOnEintr(Call call) {
  for (;;) {
    auto result = call();
    if (!(result == -1 && errno == EINTR)) return result;
  }
}

}  // namespace tovask::platform::posix
