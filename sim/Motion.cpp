#include "sim/Motion.h"

#include "sim/Records.h"

#include <algorithm>
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

// 0 to 1 over length seconds from start, with no jerk at either end.
double minimumJerk(double seconds, double start, double length) {
    const double u = std::min(1.0, std::max(0.0, (seconds - start) / length));
    return u * u * u * (10 - 15 * u + 6 * u * u);
}

// Distance walked, in metres, seconds into a 5-s leg: ramps of half a second
// at either end of 3 s at full speed, then standing.
double walked(double seconds) {
    const double speed = 1.2, ramp = 0.5;
    if (seconds < ramp) return speed * seconds * seconds / (2 * ramp);
    if (seconds < 3 + ramp) return speed * (ramp / 2 + seconds - ramp);
    const double slowing = std::min(seconds - 3 - ramp, ramp);
    return speed * (ramp / 2 + 3 + slowing - slowing * slowing / (2 * ramp));
}

} // namespace

void scriptedPose(MotionScript script, double seconds, double position[3], double angles[3]) {
    const double cycle = script == MotionScript::walk ? 10 : 2;
    const double t = seconds - cycle * std::floor(seconds / cycle);
    for (int axis = 0; axis < 3; ++axis) angles[axis] = 0;
    if (script == MotionScript::headTurn) {
        const double turn = minimumJerk(t, 0.5, 0.4) - minimumJerk(t, 1.5, 0.4);
        angles[0] = 90 * turn;
        // The sensor's offset from the neck, (10, -8, 0) cm in the sensor's
        // frame, turned with it; azimuth turns about y.
        const double a = angles[0] * pi / 180;
        const double neck[3] = {0, 0, 100};
        position[0] = neck[0] + 10 * std::cos(a);
        position[1] = neck[1] - 8;
        position[2] = neck[2] - 10 * std::sin(a);
        return;
    }
    if (script == MotionScript::wandSwing) {
        const double swing = minimumJerk(t, 0.5, 0.47) - minimumJerk(t, 1.5, 0.47);
        position[0] = -25 + 50 * swing;
        position[1] = 20;
        position[2] = 140;
        angles[0] = 45 * swing;
        return;
    }
    const double length = walked(5), intoLeg = std::fmod(t, 5);
    const double along = t < 5 ? walked(t) : length - walked(t - 5);
    const double speed = (walked(intoLeg + 0.001) - walked(intoLeg)) / 0.001;
    position[0] = 100 * (along - length / 2);
    position[1] = -10 - 2 * (speed / 1.2) * std::sin(2 * pi * 2 * seconds);
    position[2] = 100;
}

StationMotion::StationMotion(StationSetup setup, uint32_t seed, SensorNoise sensorNoise, std::optional<StillPose> still,
                             std::optional<MotionScript> script)
    : setup(setup), seed(seed), sensorNoise(sensorNoise), still(still), script(script),
      noise(mix(seed) ^ static_cast<uint32_t>(setup.number)) {
    for (int axis = 0; axis < 6; ++axis)
        phase[axis] = 2 * pi * (mix(seed + 977U * static_cast<uint32_t>(setup.number) + static_cast<uint32_t>(axis)) % 1000) / 1000.0;
}

Sample StationMotion::next(double seconds) {
    Sample sample{};
    sample.seconds = seconds;
    double position[3];
    pose(seconds, position, sample.angles);
    addNoise(position, sample);
    controls(seconds, sample);
    return sample;
}

void StationMotion::pose(double seconds, double position[3], float angles[3]) const {
    if (script) {
        double angleValues[3];
        scriptedPose(*script, seconds, position, angleValues);
        for (int axis = 0; axis < 3; ++axis) angles[axis] = static_cast<float>(angleValues[axis]);
        return;
    }
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
