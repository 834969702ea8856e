#include "sim/platform/StopSignals.h"

#include <algorithm>
#include <csignal>
#include <ctime>
#include <pthread.h>

namespace simplatform {

namespace {

sigset_t stopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

} // namespace

void blockStopSignals() {
    const sigset_t signals = stopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

bool stopSignalBefore(std::chrono::steady_clock::time_point until) {
    const sigset_t signals = stopSignals();
    if (until == std::chrono::steady_clock::time_point::max()) return sigwaitinfo(&signals, nullptr) > 0;
    const auto left = std::max(until - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration::zero());
    const auto whole = std::chrono::duration_cast<std::chrono::seconds>(left);
    timespec wait{static_cast<time_t>(whole.count()),
                  static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(left - whole).count())};
    return sigtimedwait(&signals, nullptr, &wait) > 0;
}

} // namespace simplatform
