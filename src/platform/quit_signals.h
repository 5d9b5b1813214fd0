// Ending the program normally when the session asks it to stop. A desktop program killed by
// SIGTERM (logout, shutdown), SIGHUP (its terminal closed) or SIGINT (Ctrl-C in a terminal)
// would leave its temporary copies behind; turned into an event, the signal ends the event
// loop and every destructor runs.
#pragma once

namespace tovask::platform {

// From now on SIGINT, SIGTERM and SIGHUP each write one byte to a pipe instead of ending the
// process; returns the pipe's read end (non-blocking, close-on-exec) for an event loop to
// watch, or -1 when it cannot be set up (the signals then keep their default action). Call
// it once.
[[nodiscard]] int WatchQuitSignals();

// Gives the three signals their default action back.
void StopWatchingQuitSignals();

}  // namespace tovask::platform
