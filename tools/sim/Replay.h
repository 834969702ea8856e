// A recording of the host's JSON lines played back as a tracker: what each
// station sent on the line, undone from the device's unit conversion and CAVE
// mapping, at the pace it was recorded.
#pragma once

#include "tools/sim/Simulator.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace is900sim {

// One record to send: the station's latest pose and controls at that time.
struct ReplayFrame {
    double seconds = 0;            // since the recording's first record
    int station = 0;
    float position[3] = {0, 0, 0}; // in the recording's unit, tracker frame
    float angles[3] = {0, 0, 0};   // azimuth, elevation, roll in degrees
    uint8_t buttons = 0;
    uint8_t joystick[2] = {127, 127};
};

struct Recording {
    bool centimetres = false;
    bool cave = true;
    std::vector<StationSetup> stations;
    std::vector<ReplayFrame> frames;
};

struct ReplayError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws ReplayError naming the file, and the line of a malformed line.
Recording readRecording(const std::string& path);

} // namespace is900sim
