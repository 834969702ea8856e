#include "DirectoryEntry.h"

#include <cstring>

namespace is900 {
namespace hostkit {

namespace {

bool present(const char* text) { return text != nullptr && *text != '\0'; }

template <typename Sequence>
bool wellFormed(const Sequence& sequence) {
    return sequence._length <= sequence._maximum && (sequence._length == 0 || sequence._buffer != nullptr);
}

bool readTrackers(const is900_dds_DeviceEntry& device, DeviceInfo& info) {
    if (!wellFormed(device.trackers)) return false;
    for (uint32_t i = 0; i < device.trackers._length; ++i) {
        const is900_dds_TrackerEntry& tracker = device.trackers._buffer[i];
        if (tracker.record_id == 0 || !present(tracker.unit) || !present(tracker.frame)) return false;
        // A host from before the processing keys says nothing of them.
        info.trackers.push_back({tracker.record_id, tracker.station, tracker.unit, tracker.frame,
                                 present(tracker.processing) ? tracker.processing : "none",
                                 present(tracker.raw_topic) ? tracker.raw_topic : ""});
    }
    return true;
}

bool readControllers(const is900_dds_DeviceEntry& device, DeviceInfo& info) {
    if (!wellFormed(device.controllers)) return false;
    for (uint32_t i = 0; i < device.controllers._length; ++i) {
        const is900_dds_ControllerEntry& controller = device.controllers._buffer[i];
        if (controller.record_id == 0) return false;
        info.controllers.push_back({controller.record_id, controller.station, controller.buttons, controller.valuators});
    }
    return true;
}

} // namespace

bool knownState(const char* state) {
    for (const char* name : {"starting", "streaming", "silent", "reconnecting", "failed", "stopped"})
        if (state != nullptr && std::strcmp(state, name) == 0) return true;
    return false;
}

namespace {

bool readDevices(const is900_dds_HostEntry& entry, std::vector<DeviceInfo>& devices) {
    if (entry.version != directoryVersion || !present(entry.host) || !wellFormed(entry.devices)) return false;
    for (uint32_t i = 0; i < entry.devices._length; ++i) {
        const is900_dds_DeviceEntry& device = entry.devices._buffer[i];
        if (!present(device.name) || device.port == nullptr || !knownState(device.state)) return false;
        DeviceInfo info;
        info.name = device.name;
        info.host = entry.host;
        info.pid = entry.pid;
        info.port = device.port;
        info.state = device.state;
        info.attempt = device.attempt;
        if (!readTrackers(device, info) || !readControllers(device, info)) return false;
        devices.push_back(info);
    }
    return true;
}

} // namespace

bool readHostEntry(const is900_dds_HostEntry& entry, std::vector<DeviceInfo>& devices) {
    devices.clear();
    if (readDevices(entry, devices)) return true;
    devices.clear();
    return false;
}

} // namespace hostkit
} // namespace is900
