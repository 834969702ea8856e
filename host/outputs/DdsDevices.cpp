#include "host/outputs/DdsDevices.h"

std::vector<DdsDevice> ddsDevices(const std::vector<DeviceSection>& sections) {
    std::vector<DdsDevice> devices;
    uint32_t trackerIds = 0, controllerIds = 0;
    for (const DeviceSection& section : sections) {
        const is900::hostkit::DeviceSetup& setup = section.setup;
        DdsDevice device;
        device.name = section.name;
        device.port = setup.port;
        device.caveCoordinates = setup.cave;
        device.transmitter = setup.transmitter;
        device.status.device = section.name;
        for (int station : setup.trackerStations())
            device.trackers.push_back({++trackerIds, station, stationProcessing(section, station).describe()});
        for (int station : setup.controllerStations()) device.controllers.push_back({++controllerIds, station, 0, 0, {}});
        devices.push_back(device);
    }
    return devices;
}
