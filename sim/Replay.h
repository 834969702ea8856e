// A recording of the host's JSON lines played back as a tracker: what each
// station sent on the line, undone from everything the recorded device's
// option lines did to it, at the pace it was recorded.
#pragma once

#include "is900/hostkit/DeviceSetup.h"
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
    uint8_t buttons = 0;                      // the controls as the tracker sent them
    uint8_t joystick[2] = {127, 127};
};

struct Recording {
    is900::hostkit::DeviceSetup setup; // the recorded device's, read from its option lines
    std::vector<StationSetup> stations;
    std::vector<ReplayFrame> frames;
};

struct ReplayError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws ReplayError naming the file, and the line of a malformed line; a
// recording of another format version is refused, naming both versions, and
// one whose set-up cannot be undone (irreversibleSetting) naming the setting.
Recording readRecording(const std::string& path);

} // namespace is900sim
