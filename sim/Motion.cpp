#include "sim/Motion.h"

#include "sim/Records.h"

#include <cmath>

namespace is900sim {

namespace {

const double pi = 3.14159265358979323846;

struct MotionShape {
    double amplitude[6]; // cm, cm, cm, degrees, degrees, degrees
    double frequency[6]; // Hz
};

// A head moves slowly; a wand sweeps faster and further.
const MotionShape headShape = {{15, 10, 5, 40, 15, 5}, {0.11, 0.07, 0.05, 0.09, 0.13, 0.17}};
const MotionShape wandShape = {{40, 30, 20, 90, 45, 30}, {0.37, 0.29, 0.23, 0.31, 0.41, 0.53}};

uint32_t mix(uint32_t value) {
    value ^= value >> 16;
    value *= 0x7feb352dU;
    value ^= value >> 15;
    value *= 0x846ca68bU;
    value ^= value >> 16;
    return value;
}

} // namespace

StationMotion::StationMotion(StationSetup setup, uint32_t seed, SensorNoise sensorNoise, std::optional<StillPose> still)
    : setup(setup), seed(seed), sensorNoise(sensorNoise), still(still),
      noise(mix(seed) ^ static_cast<uint32_t>(setup.number)) {
    for (int axis = 0; axis < 6; ++axis)
        phase[axis] = 2 * pi * (mix(seed + 977U * static_cast<uint32_t>(setup.number) + static_cast<uint32_t>(axis)) % 1000) / 1000.0;
}

Sample StationMotion::next(double seconds) {
    Sample sample{};
    double position[3];
    pose(seconds, position, sample.angles);
    addNoise(position, sample);
    controls(seconds, sample);
    return sample;
}

void StationMotion::pose(double seconds, double position[3], float angles[3]) const {
    if (still) {
        for (int axis = 0; axis < 3; ++axis) {
            position[axis] = still->position[axis];
            angles[axis] = static_cast<float>(still->angles[axis]);
        }
        return;
    }
    const MotionShape& shape = setup.kind == StationKind::tracker ? headShape : wandShape;
    const double centre[3] = {0.0, 30.0 * (setup.number - 1), setup.kind == StationKind::tracker ? 100.0 : 140.0};
    for (int axis = 0; axis < 6; ++axis) {
        double wave = std::sin(2 * pi * shape.frequency[axis] * seconds + phase[axis]);
        if (axis < 3) position[axis] = centre[axis] + shape.amplitude[axis] * wave;
        else angles[axis - 3] = static_cast<float>(shape.amplitude[axis] * wave);
    }
}

// Position noise is added before the position is rounded to a float. The
// rotation is drawn only when asked for, so that the position noise of a
// seed stays what it was without it.
void StationMotion::addNoise(const double position[3], Sample& sample) {
    std::normal_distribution<double> gauss(0.0, 1.0);
    for (int axis = 0; axis < 3; ++axis)
        sample.position[axis] = static_cast<float>(position[axis] + sensorNoise.positionMm / 10 * gauss(noise));
    if (sensorNoise.angleDegrees <= 0) return;
    double turn[3];
    for (double& component : turn) component = sensorNoise.angleDegrees * pi / 180 * gauss(noise);
    turnAngles(sample.angles, turn);
}

// Buttons change every half second: mostly none, else one of the six.
// The joystick rests at 127 in some seconds and sweeps in others.
void StationMotion::controls(double seconds, Sample& sample) const {
    sample.joystick[0] = sample.joystick[1] = 127;
    if (setup.kind == StationKind::tracker) return;
    uint32_t halfSecond = static_cast<uint32_t>(seconds * 2);
    uint32_t draw = mix(seed * 31U + static_cast<uint32_t>(setup.number) * 7919U + halfSecond);
    sample.buttons = (draw & 1U) ? static_cast<uint8_t>(1U << ((draw >> 1) % 6)) : 0;
    uint32_t second = static_cast<uint32_t>(seconds);
    if (mix(seed + second * 131U + static_cast<uint32_t>(setup.number)) % 3 == 0) return;
    for (int axis = 0; axis < 2; ++axis) {
        double wave = std::sin(2 * pi * (0.5 + 0.3 * axis) * seconds + phase[axis]);
        sample.joystick[axis] = static_cast<uint8_t>(std::lround(127.5 + 127.5 * wave));
    }
}

} // namespace is900sim
