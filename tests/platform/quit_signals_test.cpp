#include "platform/quit_signals.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

namespace tovask::platform {
namespace {

// Each of the three signals arrives as a byte to read instead of ending the process.
TEST(QuitSignalsTest, SignalsBecomeBytesOnThePipe) {
  const int fd = WatchQuitSignals();
  ASSERT_GE(fd, 0);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    ASSERT_EQ(::raise(signal), 0);
    pollfd ready{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 60000), 1) << signal;
    char byte = 0;
    EXPECT_EQ(::read(fd, &byte, 1), 1);
  }
  StopWatchingQuitSignals();
  ::close(fd);
}

}  // namespace
}  // namespace tovask::platform
