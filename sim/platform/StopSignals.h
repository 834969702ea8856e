// How is900-sim learns it is to stop: SIGINT or SIGTERM, taken by the
// thread that runs its timeline. One backend, StopSignalsPosix.cpp.
#pragma once

#include <chrono>

namespace simplatform {

// Blocks the stop signals in the calling thread and in the threads it
// starts from then on, so that only a wait for them takes them. Call before
// any thread starts.
void blockStopSignals();
// Sleeps until a stop signal or the time (for ever for time_point::max());
// true at a stop signal.
bool stopSignalBefore(std::chrono::steady_clock::time_point until);

} // namespace simplatform
