#include "host/supervision/DeviceStatus.h"

#include "host/view/RecordView.h"

#include <chrono>
#include <cstdio>

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
    char tail[128];
    char last[32] = "null";
    if (status.lastRecord > 0) std::snprintf(last, sizeof last, "%.3f", status.lastRecord);
    std::snprintf(tail, sizeof tail, ",\"attempt\":%d,\"retry_in\":%d,\"time\":%.3f,\"last_record\":%s}",
                  status.attempt, status.retryInSeconds, status.time, last);
    return "{\"type\":\"status\",\"device\":" + jsonString(status.device) + ",\"state\":\"" +
           stateName(status.state) + "\"" + tail;
}
