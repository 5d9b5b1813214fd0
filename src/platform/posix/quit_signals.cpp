#include "platform/quit_signals.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace tovask::platform {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
int writeEnd = -1;

// Async-signal-safe: write() only, errno kept for the code it interrupted.
void OnQuitSignal(int) {
  const int saved = errno;
  const char byte = 1;
  (void)!::write(writeEnd, &byte, 1);
  errno = saved;
}

}  // namespace

int WatchQuitSignals() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
  writeEnd = ends[1];
  struct sigaction action {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : kSignals) (void)::sigaction(signal, &action, nullptr);
  return ends[0];
}

void StopWatchingQuitSignals() {
  for (int signal : kSignals) (void)::signal(signal, SIG_DFL);
}

}  // namespace tovask::platform
