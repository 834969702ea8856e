#include "host/outputs/DdsDevices.h"

#include "host/config/StationLayout.h"

std::vector<DdsDevice> ddsDevices(const std::vector<DeviceSection>& sections) {
    std::vector<DdsDevice> devices;
    uint32_t trackerIds = 0, controllerIds = 0;
    for (const DeviceSection& section : sections) {
        const StationLayout layout = stationLayoutFromOptions(section.options);
        DdsDevice device;
        device.name = section.name;
        device.port = portNameFromOptions(section.options);
        device.caveCoordinates = caveCoordinatesFromOptions(section.options);
        device.status.device = section.name;
        for (int station : layout.trackerStations) device.trackers.push_back({++trackerIds, station});
        for (int station : layout.controllerStations) device.controllers.push_back({++controllerIds, station, 0, 0, {}});
        devices.push_back(device);
    }
    return devices;
}
