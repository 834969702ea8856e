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

// The row-vector turn by angle degrees about axis, right-handed.
void turnMatrix(const TransmitterPlacement& placement, double m[3][3]) {
    const double* a = placement.axis;
    const double length = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    const double u[3] = {a[0] / length, a[1] / length, a[2] / length};
    const double angle = placement.angleDegrees * pi / 180, c = std::cos(angle), s = std::sin(angle), k = 1 - c;
    const double turn[3][3] = {{k * u[0] * u[0] + c, k * u[0] * u[1] + u[2] * s, k * u[0] * u[2] - u[1] * s},
                               {k * u[0] * u[1] - u[2] * s, k * u[1] * u[1] + c, k * u[1] * u[2] + u[0] * s},
                               {k * u[0] * u[2] + u[1] * s, k * u[1] * u[2] - u[0] * s, k * u[2] * u[2] + c}};
    std::copy(&turn[0][0], &turn[0][0] + 9, &m[0][0]);
}

// Row i: the sensor's axis i in the room.
void sensorAxes(const double angles[3], double rows[3][3]) {
    const float values[3] = {static_cast<float>(angles[0]), static_cast<float>(angles[1]), static_cast<float>(angles[2])};
    double columns[3][3];
    rotationOf(values, columns);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) rows[i][j] = columns[j][i];
}

// Holds: the first pose is held a lead of 5 s longer, so that a host that
// starts with the simulator sees every press; a press comes after a still second.
const double leadSeconds = 5, holdSeconds = 1.5, moveSeconds = 0.5, pressAt = 1.2, pressLength = 0.2;

} // namespace

void scriptedPose(const ScriptedMotion& motion, double seconds, double position[3], double angles[3]) {
    const std::vector<RoomPose>& points = motion.points;
    if (points.empty() || (motion.script != MotionScript::holds && motion.script != MotionScript::swivel))
        return scriptedPose(motion.script, seconds, position, angles);
    if (motion.script == MotionScript::swivel) {
        const double turn = 2 * pi * seconds / 3;
        for (int axis = 0; axis < 3; ++axis) position[axis] = points[0].position[axis];
        angles[0] = points[0].angles[0] + 30 * std::sin(turn);
        angles[1] = points[0].angles[1] + 30 * std::cos(turn);
        angles[2] = points[0].angles[2] + 20 * std::sin(2 * pi * seconds / 4.3);
        return;
    }
    const double step = holdSeconds + moveSeconds;
    const double t = std::fmod(std::max(0.0, seconds - leadSeconds), step * points.size());
    const std::size_t index = static_cast<std::size_t>(t / step) % points.size();
    const RoomPose& from = points[index];
    const RoomPose& to = points[(index + 1) % points.size()];
    const double moved = minimumJerk(t - step * index, holdSeconds, moveSeconds);
    for (int axis = 0; axis < 3; ++axis) {
        position[axis] = from.position[axis] + moved * (to.position[axis] - from.position[axis]);
        angles[axis] = from.angles[axis] + moved * (to.angles[axis] - from.angles[axis]);
    }
}

bool scriptedPress(const ScriptedMotion& motion, double seconds) {
    if (motion.script != MotionScript::holds || motion.points.empty()) return false;
    const double intoHold = std::fmod(seconds - leadSeconds, holdSeconds + moveSeconds);
    return seconds >= leadSeconds && intoHold >= pressAt && intoHold < pressAt + pressLength;
}

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
                             std::optional<ScriptedMotion> script, TransmitterPlacement transmitter, SensorTip tip)
    : setup(setup), seed(seed), sensorNoise(sensorNoise), still(still), script(script), transmitter(transmitter),
      tip(tip),
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

// The room's pose, moved back from a tip to the sensor and seen from where
// the transmitter stands. Without either the room's pose goes out as it is.
void StationMotion::pose(double seconds, double position[3], float angles[3]) const {
    double room[3];
    roomPose(seconds, position, room);
    const bool placed = transmitter.angleDegrees != 0 || transmitter.offset[0] != 0 || transmitter.offset[1] != 0 ||
                        transmitter.offset[2] != 0;
    const bool tipped = tip.offset[0] != 0 || tip.offset[1] != 0 || tip.offset[2] != 0;
    for (int axis = 0; axis < 3; ++axis) angles[axis] = static_cast<float>(room[axis]);
    if (!placed && !tipped) return;
    double rows[3][3], turn[3][3], seen[3][3], offset[3];
    sensorAxes(room, rows);
    turnMatrix(transmitter, turn);
    for (int j = 0; j < 3; ++j) {
        offset[j] = position[j] - transmitter.offset[j];
        for (int i = 0; i < 3; ++i) offset[j] -= tip.offset[i] * rows[i][j];
    }
    // (p - o) . M^T and the axes . M^T; seen is the column form anglesOf takes.
    for (int j = 0; j < 3; ++j) {
        position[j] = 0;
        for (int k = 0; k < 3; ++k) position[j] += offset[k] * turn[j][k];
        for (int i = 0; i < 3; ++i) {
            seen[j][i] = 0;
            for (int k = 0; k < 3; ++k) seen[j][i] += rows[i][k] * turn[j][k];
        }
    }
    anglesOf(seen, angles);
}

void StationMotion::roomPose(double seconds, double position[3], double angles[3]) const {
    if (script) return scriptedPose(*script, seconds, position, angles);
    if (still) {
        for (int axis = 0; axis < 3; ++axis) {
            position[axis] = still->position[axis];
            angles[axis] = still->angles[axis];
        }
        return;
    }
    const MotionShape& shape = setup.kind == StationKind::tracker ? headShape : wandShape;
    const double centre[3] = {0.0, 30.0 * (setup.number - 1), setup.kind == StationKind::tracker ? 100.0 : 140.0};
    for (int axis = 0; axis < 6; ++axis) {
        double wave = std::sin(2 * pi * shape.frequency[axis] * seconds + phase[axis]);
        if (axis < 3) position[axis] = centre[axis] + shape.amplitude[axis] * wave;
        else angles[axis - 3] = shape.amplitude[axis] * wave;
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
    if (script && script->script == MotionScript::holds) {
        sample.buttons = scriptedPress(*script, seconds) ? 1 : 0;
        return;
    }
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
