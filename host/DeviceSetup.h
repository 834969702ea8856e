// What the host hands the device at createDev: the DevConfig block built from
// the option lines, and the host's own reading of which stations publish.
#pragma once

#include "boundary/HostRecords.h"
#include "host/ConfigFile.h"

#include <memory>
#include <string>
#include <vector>

class DeviceConfigBlock {
public:
    DeviceConfigBlock(const std::string& deviceName, const std::vector<OptionLine>& options);
    DeviceConfigBlock(const DeviceConfigBlock&) = delete;
    DeviceConfigBlock& operator=(const DeviceConfigBlock&) = delete;

    DevConfig* get() { return config.get(); }

private:
    std::string name;
    std::vector<OptionLine> lines; // owns every text the block points to
    std::unique_ptr<DevConfig> config;
};

// Stations in the order the device numbers its records: record ID n of a kind
// belongs to element n-1.
struct StationLayout {
    std::vector<int> trackerStations{1, 2};
    std::vector<int> controllerStations;
    bool centimetres = false;

    int trackerStation(uint32_t id) const;
    int controllerStation(uint32_t id) const;
};

// Reads the device's "sensors", "controllers" and "devdataunit" lines the way
// the device does; the last line of a kind wins.
StationLayout stationLayoutFromOptions(const std::vector<OptionLine>& options);

// The port the device will open: the last port line's argument, else "com1".
std::string portNameFromOptions(const std::vector<OptionLine>& options);

// The silence limit of a device whose last "reconnect" line switches its own
// recovery on (3 s unless the line gives one); 0 when it is off.
int ownSilenceLimit(const std::vector<OptionLine>& options);
