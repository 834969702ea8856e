// A device's state as the host's supervisor sees it, and its JSON line.
#pragma once

#include <string>

// starting: being brought up, or up and no record yet; streaming: records
// within the device's silence limit (a device with controller stations only
// counts as streaming while it is up, as a wand at rest publishes nothing);
// silent: up, but no record for the device's silence limit; reconnecting:
// waiting for the next bring-up; failed: given up; stopped: ended in order.
enum class DeviceState { starting, streaming, silent, reconnecting, failed, stopped };

struct DeviceStatus {
    std::string device;
    DeviceState state = DeviceState::starting;
    int attempt = 1;        // the bring-up under way or next, counted since the device last published
    int retryInSeconds = 0; // back-off before the next bring-up, while reconnecting
    double lastRecord = 0;  // seconds since 1970 of the last published record; 0: none yet
    double time = 0;        // seconds since 1970, set when the state is published
};

const char* stateName(DeviceState state);
double secondsSince1970();
// {"type":"status","device":...,"state":...,"attempt":N,"retry_in":S,"time":T,"last_record":L}
// (last_record null before the first record)
std::string statusJsonLine(const DeviceStatus& status);
