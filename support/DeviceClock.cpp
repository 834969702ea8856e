#include "support/DeviceClock.h"

#include "platform/platform.h"

DeviceClock DeviceClock::system() {
    DeviceClock clock;
    clock.now = [] { return std::chrono::steady_clock::now(); };
    clock.sleep = [](unsigned long milliseconds) { platform::sleepMilliseconds(milliseconds); };
    return clock;
}

namespace {

DeviceClock& installedClock() {
    static DeviceClock clock = DeviceClock::system();
    return clock;
}

} // namespace

const DeviceClock& DeviceClock::installed() { return installedClock(); }

void DeviceClock::install(const DeviceClock& clock) { installedClock() = clock; }
