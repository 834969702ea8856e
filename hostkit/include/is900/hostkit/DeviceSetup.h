// What a device makes of its option lines, read the way the device reads
// them: its port, stations, units, corrections, controllers, recovery and
// capture.
// The reader refuses nothing; the device's init decides what is valid. A line
// the device would refuse leaves the description as it was.
#pragma once

#include "is900/hostkit/OptionLine.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace is900 {
namespace hostkit {

const int deviceStationCount = 8;
const uint32_t controllerSlots = 32; // real valuators or buttons of one controller

using Vector3 = std::array<float, 3>;
using Rows3 = std::array<float, 9>;      // a rotation, row by row (points map as p * R)
using Polynomial = std::array<float, 4>; // a, b, c, d of a x^3 + b x^2 + c x + d

const Rows3 identityRows = {1, 0, 0, 0, 1, 0, 0, 0, 1};

// A correction of the transmitter's or a sensor's placement, in feet.
struct Placement {
    bool offsetSet = false;
    Vector3 offset{};
    bool rotationSet = false;
    Rows3 rotation = identityRows;
};

struct SensorSetup : Placement {
    bool translationSet = false;
    Vector3 translation{}; // added last, in the output frame
};

// A controller's joystick driving an emulated tracker.
struct TrackerEmulation {
    std::array<float, 6> initialPose{};       // x, y, z, azimuth, elevation, roll
    std::array<uint32_t, 6> valuators{};      // real valuator for each, 0 none
    uint32_t resetButton = 0;                 // 0 none
};

// Entry r-1 of an order: the output number of real valuator or button r, 0 dropped.
struct ControllerSetup {
    uint32_t valuatorCount = 2;
    uint32_t buttonCount = 8;
    std::array<uint32_t, controllerSlots> valuatorOrder{1, 2};
    std::array<uint32_t, controllerSlots> buttonOrder{1, 2, 3, 4, 5, 6, 7, 8};
    std::array<Polynomial, controllerSlots> valuatorScale;
    bool emulates = false;
    TrackerEmulation emulation;

    ControllerSetup(); // a controller station as the device starts it: 2 valuators, 8 buttons
    static ControllerSetup none(); // a station without a controller: nothing processed
};

// The file the device writes its line into, and the size at which it stops.
struct CaptureSetup {
    std::string path; // empty: the line is not captured
    int32_t limitMiB = 1024;
};

struct DeviceSetup {
    std::string port = "com1";
    int32_t baud = 38400;
    bool reset = false;
    bool centimetres = false; // the unit the tracker sends: inches unless set
    std::array<bool, deviceStationCount> trackerOn{true, true};
    std::array<bool, deviceStationCount> controllerOn{};
    bool cave = true;
    Placement transmitter;
    std::array<SensorSetup, deviceStationCount> sensors;         // entry s-1: station s
    std::array<ControllerSetup, deviceStationCount> controllers; // entry s-1: station s
    bool calibrated = false;
    std::string calibrationLibrary;
    std::vector<std::string> calibrationArgs;
    bool reconnect = false;
    int32_t silenceLimitSeconds = 3; // with reconnect on: silence before the set-up is repeated
    CaptureSetup capture;
    // One entry per option line: whether the device takes it. For a set-up
    // that init accepts these are exactly the lines it marks used.
    std::vector<bool> taken;

    // Stations switched on, in the order the device numbers its records:
    // record ID n of a kind belongs to element n-1.
    std::vector<int> trackerStations() const;
    std::vector<int> controllerStations() const;
    int trackerStation(uint32_t id) const;    // 0 for an ID the device does not publish
    int controllerStation(uint32_t id) const; // 0 for an ID the device does not publish
    // Seconds of silence after which the device recovers by itself; 0 when it does not.
    int ownSilenceLimit() const { return reconnect ? silenceLimitSeconds : 0; }
};

DeviceSetup readDeviceSetup(const std::vector<OptionLine>& options);

} // namespace hostkit
} // namespace is900
