// Deterministic motion of one station: pose, buttons and joystick as
// functions of the sample number, with seeded sensor noise. A still station
// holds its pose; only the noise moves it. A scripted one follows its script.
#pragma once

#include "sim/Simulator.h"

#include <cstdint>
#include <optional>
#include <random>

namespace is900sim {

struct Sample {
    float position[3]; // centimetres, tracker frame
    float angles[3];   // azimuth, elevation, roll, degrees
    uint8_t buttons;
    uint8_t joystick[2];
    double seconds; // the moment on the simulator's clock (since its start) the pose stands for
};

class StationMotion {
public:
    StationMotion(StationSetup setup, uint32_t seed, SensorNoise sensorNoise = SensorNoise(),
                  std::optional<StillPose> still = std::nullopt, std::optional<ScriptedMotion> script = std::nullopt,
                  TransmitterPlacement transmitter = TransmitterPlacement(), SensorTip tip = SensorTip());
    // The next sample; each call draws the next noise of the seeded sequence.
    Sample next(double seconds);

private:
    void pose(double seconds, double position[3], float angles[3]) const; // position in centimetres
    void roomPose(double seconds, double position[3], double angles[3]) const;
    void addNoise(const double position[3], Sample& sample);
    void controls(double seconds, Sample& sample) const;

    StationSetup setup;
    uint32_t seed;
    SensorNoise sensorNoise;
    std::optional<StillPose> still;
    std::optional<ScriptedMotion> script;
    TransmitterPlacement transmitter;
    SensorTip tip;
    std::mt19937 noise;
    double phase[6];
};

} // namespace is900sim
