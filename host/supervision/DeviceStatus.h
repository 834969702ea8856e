// A device's state as the host's supervisor sees it, and its JSON line.
#pragma once

#include <string>

enum class DeviceState { starting, streaming, reconnecting, failed };

struct DeviceStatus {
    std::string device;
    DeviceState state = DeviceState::starting;
    int attempt = 1;
    int retryInSeconds = 0;
    double time = 0; // seconds since 1970, set when the state is published
};

const char* stateName(DeviceState state);
double secondsSince1970();
// {"type":"status","device":...,"state":...,"attempt":N,"retry_in":S,"time":T}
std::string statusJsonLine(const DeviceStatus& status);
