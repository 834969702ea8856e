// What the host reads of a device's option lines: which stations publish,
// in the order the device numbers its records, its port and its own
// silence limit.
#pragma once

#include "host/config/ConfigFile.h"

#include <cstdint>
#include <string>
#include <vector>

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

// Whether the device maps its poses to CAVE coordinates: on unless the last
// "cavecoord" line switches it off.
bool caveCoordinatesFromOptions(const std::vector<OptionLine>& options);
