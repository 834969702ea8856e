// The time the device's waits and its recovery go by: the steady clock and
// the platform's sleep, or a test's own, so that tests check exact moments
// instead of waiting for real seconds.
#pragma once

#include <chrono>
#include <functional>

struct DeviceClock {
    typedef std::chrono::steady_clock::time_point TimePoint;

    std::function<TimePoint()> now;
    std::function<void(unsigned long milliseconds)> sleep;
    // How long a read waits for the tracker's next byte before the device
    // looks at the time again.
    unsigned long readTimeoutMs = 1000;

    // The steady clock and platform::sleepMilliseconds.
    static DeviceClock system();
    // The clock a device takes when it is built: the system's, unless a
    // test that links the core installed its own.
    static const DeviceClock& installed();
    static void install(const DeviceClock& clock);
};
