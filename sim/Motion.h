// Deterministic motion of one station: pose, buttons and joystick as
// functions of the sample number, with seeded sensor noise.
#pragma once

#include "sim/Simulator.h"

#include <cstdint>
#include <random>

namespace is900sim {

struct Sample {
    float position[3]; // centimetres, tracker frame
    float angles[3];   // azimuth, elevation, roll, degrees
    uint8_t buttons;
    uint8_t joystick[2];
};

class StationMotion {
public:
    StationMotion(StationSetup setup, uint32_t seed);
    Sample next(double seconds);

private:
    void pose(double seconds, Sample& sample);
    void controls(double seconds, Sample& sample) const;

    StationSetup setup;
    uint32_t seed;
    std::mt19937 noise;
    double phase[6];
};

} // namespace is900sim
