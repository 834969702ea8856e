// Time and waiting for the host's control thread. The supervisor asks this
// object for the time and sleeps through it, so that a test can run hours of
// back-off in milliseconds by handing it a clock of its own; the lines that
// report states show its time too.
#pragma once

#include "host/supervision/DeviceStatus.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

class SupervisorClock {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~SupervisorClock() = default;
    virtual Clock::time_point now() { return Clock::now(); }
    // The time the host's lines show.
    virtual double secondsSince1970() { return ::secondsSince1970(); }
    // Sleeps on the condition until it is notified or the time has come
    // (spurious wake-ups are allowed; callers check what they wait for).
    virtual void waitUntil(std::condition_variable& condition, std::unique_lock<std::mutex>& lock,
                           Clock::time_point until) {
        condition.wait_until(lock, until);
    }
};
