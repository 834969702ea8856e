// The devices a host's DDS output describes: each with the record IDs the
// host's storages give its stations (in the order of the configuration's
// sections), its state and what it has published so far. The station layout
// comes from the devices' set-ups.
#pragma once

#include "host/config/ConfigFile.h"
#include "host/supervision/DeviceStatus.h"
#include "is900/hostkit/DeviceSetup.h"
#include "is900/hostkit/QualityFigures.h"

#include <cstdint>
#include <string>
#include <vector>

struct DdsTracker {
    uint32_t recordId = 0;
    int station = 0;
    std::string processing = "none"; // what the host does to its poses
};

struct DdsController {
    uint32_t recordId = 0;
    int station = 0;
    uint32_t buttons = 0; // known from the first record
    uint32_t valuators = 0;
    std::vector<bool> pressed; // the last record's buttons
};

struct DdsDevice {
    std::string name;
    std::string port;
    bool caveCoordinates = true;
    is900::hostkit::Placement transmitter; // where the corrections put the transmitter in the output frame
    std::vector<DdsTracker> trackers;
    std::vector<DdsController> controllers;
    DeviceStatus status;
    uint64_t records = 0;
    double lastStamp = 0;   // the last record's time stamp
    uint64_t buttonEdges = 0;
    is900::hostkit::DeviceQuality quality; // the latest figures, told once a second
};

std::vector<DdsDevice> ddsDevices(const std::vector<DeviceSection>& sections);
