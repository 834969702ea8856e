// How the host and is900-print end in order on a stop signal. Part of the
// kit that is not installed.
#pragma once

#include <functional>

namespace is900 {
namespace hostkit {

// Calls onStop, on a thread of its own, at the first SIGINT, SIGTERM or
// SIGHUP (Windows: Ctrl-C, Ctrl-Break, the console closed); at the second it
// calls beforeExit, if given, on that thread and then ends the process with 130.
// Ignores SIGPIPE, so that a reader that leaves makes writes fail instead.
// Call first in main, before any thread.
void handleStopSignals(std::function<void()> onStop, std::function<void()> beforeExit = nullptr);

} // namespace hostkit
} // namespace is900
