#include "host/supervision/DeviceStatus.h"

#include "is900/hostkit/RecordSchema.h"

#include <chrono>

const char* stateName(DeviceState state) {
    switch (state) {
    case DeviceState::streaming: return "streaming";
    case DeviceState::silent: return "silent";
    case DeviceState::reconnecting: return "reconnecting";
    case DeviceState::failed: return "failed";
    case DeviceState::stopped: return "stopped";
    default: return "starting";
    }
}

double secondsSince1970() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string statusJsonLine(const DeviceStatus& status) {
    return is900::hostkit::statusJsonLine(is900::hostkit::StatusLine{status.device, stateName(status.state), status.attempt,
                                                                     status.retryInSeconds, status.time, status.lastRecord});
}
