// What the device does to a sample under its option lines, undone: for a
// published record, the sample the tracker sent. The device converts units
// and maps CAVE coordinates, applies the transmitter and sensor corrections,
// reorders buttons and valuators and scales each valuator; a replay sends
// what, passed through the same set-up, publishes the recorded values.
#pragma once

#include "is900/hostkit/DeviceSetup.h"

#include <cstdint>
#include <string>
#include <vector>

namespace is900sim {

// Empty when every setting of the set-up can be undone; otherwise why the
// first that cannot, naming it: a calibration library, a singular rotation
// matrix or a valuator scale that is not strictly monotonic over the
// joystick's range.
std::string irreversibleSetting(const is900::hostkit::DeviceSetup& setup);

// The pose the tracker sent (position in the set-up's unit, angles in
// degrees) for the station's published pose (feet, degrees). The device cuts
// each value to its fixed-point step towards zero; placing the value at
// stepFraction (0 < f < 1) of the step away from zero makes it come out as
// the published one.
void sentPose(const is900::hostkit::DeviceSetup& setup, int station, const double published[6], double stepFraction,
              float position[3], float angles[3]);

// The button byte and joystick bytes the tracker sent for the station's
// published buttons and valuators. Real buttons and valuators the device
// drops are sent at rest.
void sentControls(const is900::hostkit::DeviceSetup& setup, int station, const std::vector<bool>& buttons,
                  const std::vector<float>& valuators, uint8_t& buttonByte, uint8_t joystick[2]);

} // namespace is900sim
