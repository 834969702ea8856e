// A recording of the host's JSON lines played back as a tracker: what each
// station sent on the line, undone from the device's unit conversion and CAVE
// mapping, at the pace it was recorded.
#pragma once

#include "sim/Simulator.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace is900sim {

// One record to send: the station's latest pose and controls at that time.
struct ReplayFrame {
    double seconds = 0;                  // since the recording's first record
    int station = 0;
    double published[6] = {0, 0, 0, 0, 0, 0}; // the pose as the device published it
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

// Throws ReplayError naming the file, and the line of a malformed line; a
// recording of another format version is refused, naming both versions.
Recording readRecording(const std::string& path);

// The pose the tracker sent (position in the recording's unit, angles in
// degrees), undone from the device's unit conversion and CAVE mapping. The
// device cuts each value to its fixed-point step towards zero; placing the
// value at stepFraction (0 < f < 1) of the step away from zero makes it come
// out as the published one.
void sentPose(const Recording& recording, const double published[6], double stepFraction, float position[3],
              float angles[3]);

} // namespace is900sim
