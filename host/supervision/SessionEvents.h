// What wakes the session's control thread before its next due time: a
// request to end the run (a signal, a reader that left), news from a device
// (reception ended, the first record after a pause) or a request to bring a
// device up again with new option lines (a write of its configuration).
// Every member may be called from any thread.
#pragma once

#include "host/supervision/SupervisorClock.h"
#include "is900/hostkit/OptionLine.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

struct DeviceRestart {
    std::string device;
    std::vector<is900::hostkit::OptionLine> options;
};

class SessionEvents {
public:
    // Both notify under the lock: once the control thread has taken the
    // lock and seen the news, the thread that sent it no longer touches the
    // events, so the run may end and destroy them (the host's are a global,
    // and its signal thread is never joined).
    void requestStop() {
        send([this] { stop = true; });
    }
    void notify() {
        send([] {});
    }
    void requestRestart(DeviceRestart restart) {
        send([this, &restart] { restarts.push_back(std::move(restart)); });
    }
    // The restarts requested since the last call, in their order.
    std::vector<DeviceRestart> takeRestarts() {
        std::vector<DeviceRestart> taken;
        std::lock_guard<std::mutex> guard(mutex);
        taken.swap(restarts);
        return taken;
    }
    // News sent that the control thread has not yet taken.
    bool newsPending() {
        std::lock_guard<std::mutex> guard(mutex);
        return pending;
    }
    bool stopRequested() {
        std::lock_guard<std::mutex> guard(mutex);
        return stop;
    }
    // Returns at once when something happened since the last wait, else
    // sleeps until an event or the due time.
    void waitUntil(SupervisorClock& clock, SupervisorClock::Clock::time_point due) {
        std::unique_lock<std::mutex> lock(mutex);
        if (!pending) clock.waitUntil(condition, lock, due);
        pending = false;
    }

    // The run has sent every device's stop sequence.
    void devicesStopped() {
        {
            std::lock_guard<std::mutex> guard(mutex);
            stopped = true;
        }
        stoppedCondition.notify_all();
    }
    // Returns once the devices are stopped, or after limit.
    void waitForDevicesStopped(std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(mutex);
        stoppedCondition.wait_for(lock, limit, [this] { return stopped; });
    }

private:
    template <typename Change>
    void send(Change change) {
        std::lock_guard<std::mutex> guard(mutex);
        change();
        pending = true;
        condition.notify_all();
    }

    std::mutex mutex;
    std::condition_variable condition;
    std::condition_variable stoppedCondition;
    bool stop = false;
    bool pending = false;
    bool stopped = false;
    std::vector<DeviceRestart> restarts;
};
