#include "sim/SampleInverse.h"

#include "rules/OptionWords.h"
#include "rules/Rotation.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace is900sim {

namespace {

// The set-up records of the kit's option reader.
using namespace is900::hostkit;

// The device's constants, as 32-bit floats like its own.
using rotation::degreesToRadians;

const double poseStep = 1e-5;   // the published pose's fixed-point step
const double valuatorUnits = 1000; // published valuators are stored as value x 1000
const uint32_t rawButtons = 8, rawValuators = 2;
const uint8_t joystickAtRest = 127;

using Matrix3 = std::array<std::array<double, 3>, 3>;

Matrix3 matrixOf(const Rows3& rows) {
    Matrix3 m;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m[r][c] = rows[3 * r + c];
    return m;
}

Matrix3 product(const Matrix3& left, const Matrix3& right) {
    Matrix3 m;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m[i][j] = left[i][0] * right[0][j] + left[i][1] * right[1][j] + left[i][2] * right[2][j];
    return m;
}

double determinant(const Matrix3& m) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

bool singular(const Matrix3& m) { return std::fabs(determinant(m)) < 1e-6; }

// The inverse of a matrix that is not singular, by its adjugate.
Matrix3 inverse(const Matrix3& m) {
    const double d = determinant(m);
    Matrix3 result;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            result[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / d;
        }
    return result;
}

// The device's orientation matrix.
Matrix3 orientation(const double angles[3]) {
    double m[3][3];
    rotation::orientationMatrix(angles[0], angles[1], angles[2], m);
    return {{{m[0][0], m[0][1], m[0][2]}, {m[1][0], m[1][1], m[1][2]}, {m[2][0], m[2][1], m[2][2]}}};
}

// The angles the device reads out of a corrected orientation.
void anglesOf(const Matrix3& n, double angles[3]) {
    angles[0] = -std::atan2(-n[2][0], n[2][2]) / degreesToRadians;
    angles[1] = std::atan2(-n[2][1], std::sqrt(n[2][2] * n[2][2] + n[2][0] * n[2][0])) / degreesToRadians;
    angles[2] = std::atan2(n[0][1], n[1][1]) / degreesToRadians;
}

double wrapped(double degrees) { return degrees - 360 * std::round(degrees / 360); }

// The published angles of tracker angles: those of S . R . T, less the target.
void angleError(const Matrix3& sensor, const Matrix3& transmitter, const double angles[3], const double target[3],
                double error[3]) {
    anglesOf(product(product(sensor, orientation(angles)), transmitter), error);
    for (int i = 0; i < 3; ++i) error[i] = wrapped(error[i] - target[i]);
}

// The same orientation with the elevation in -90..90 and each angle in -180..180.
void inPrincipalRange(double angles[3]) {
    if (std::fabs(wrapped(angles[1])) > 90) {
        angles[0] += 180;
        angles[1] = 180 - angles[1];
        angles[2] += 180;
    }
    for (int i = 0; i < 3; ++i) angles[i] = wrapped(angles[i]);
}

double size(const double error[3]) { return std::fabs(error[0]) + std::fabs(error[1]) + std::fabs(error[2]); }

// Newton's method from the given angles towards those whose corrected
// angles are the target, its step halved until the error shrinks.
void refine(const Matrix3& sensor, const Matrix3& transmitter, const double target[3], double angles[3]) {
    const double delta = 1e-4;
    double error[3];
    angleError(sensor, transmitter, angles, target, error);
    for (int round = 0; round < 30 && size(error) > 1e-7; ++round) {
        Matrix3 slope;
        for (int k = 0; k < 3; ++k) {
            double moved[3] = {angles[0], angles[1], angles[2]}, movedError[3];
            moved[k] += delta;
            angleError(sensor, transmitter, moved, target, movedError);
            for (int i = 0; i < 3; ++i) slope[i][k] = wrapped(movedError[i] - error[i]) / delta;
        }
        if (singular(slope)) return;
        const Matrix3 back = inverse(slope);
        double step[3], tried[3], triedError[3];
        for (int i = 0; i < 3; ++i) step[i] = back[i][0] * error[0] + back[i][1] * error[1] + back[i][2] * error[2];
        double share = 1;
        for (; share > 1e-3; share /= 2) {
            for (int i = 0; i < 3; ++i) tried[i] = angles[i] - share * step[i];
            angleError(sensor, transmitter, tried, target, triedError);
            if (size(triedError) < size(error)) break;
        }
        if (share <= 1e-3) return;
        std::copy(tried, tried + 3, angles);
        std::copy(triedError, triedError + 3, error);
    }
}

// The tracker's angles whose corrected angles are the published ones. For
// rotations S^-1 . R' . T^-1 is exact; for other invertible matrices the
// device's angles are no rotation of their own, and Newton's method finds
// the tracker's angles from there, then again from the same orientation
// with the elevation in -90..90 (the device's degree is not exactly pi/180,
// so the two forms differ slightly).
void uncorrectedAngles(const Matrix3& sensor, const Matrix3& transmitter, const double published[3],
                       double angles[3]) {
    anglesOf(product(product(inverse(sensor), orientation(published)), inverse(transmitter)), angles);
    refine(sensor, transmitter, published, angles);
    inPrincipalRange(angles);
    refine(sensor, transmitter, published, angles);
}

// The device corrects a station's poses when any placement is given.
bool corrected(const Placement& transmitter, const SensorSetup& sensor) {
    return transmitter.offsetSet || transmitter.rotationSet || sensor.offsetSet || sensor.rotationSet ||
           sensor.translationSet;
}

// Undoes the transmitter and sensor corrections of a pose in feet and degrees:
// the sensor translation, the sensor offset turned by the published
// orientation, the transmitter offset and rotation, and the rotations of the
// orientation.
void uncorrect(const Placement& transmitter, const SensorSetup& sensor, double pose[6]) {
    const Matrix3 turned = orientation(pose + 3);
    double q[3];
    for (int j = 0; j < 3; ++j)
        q[j] = pose[j] - sensor.translation[j] - transmitter.offset[j] -
               (sensor.offset[0] * turned[0][j] + sensor.offset[1] * turned[1][j] + sensor.offset[2] * turned[2][j]);
    const Matrix3 back = inverse(matrixOf(transmitter.rotation));
    for (int j = 0; j < 3; ++j) pose[j] = q[0] * back[0][j] + q[1] * back[1][j] + q[2] * back[2][j];
    const double published[3] = {pose[3], pose[4], pose[5]};
    uncorrectedAngles(matrixOf(sensor.rotation), matrixOf(transmitter.rotation), published, pose + 3);
}

// The device's valuator arithmetic: a raw byte to -1..1, then the polynomial.
float normalised(int raw) {
    const int offset = raw - 127;
    return static_cast<float>(raw > 127 ? offset / 128.0 : offset / 127.0);
}

float scaled(const Polynomial& scale, float x) {
    const double value = x, square = value * value, cube = value * square;
    return static_cast<float>(((scale[0] * cube + scale[1] * square) + scale[2] * value) + scale[3]);
}

// The stored value, truncated toward zero.
long stored(float value) { return static_cast<long>(static_cast<double>(value) * valuatorUnits); }

bool strictlyMonotonic(const Polynomial& scale) {
    int direction = 0;
    for (int raw = 1; raw <= 255; ++raw) {
        const float step = scaled(scale, normalised(raw)) - scaled(scale, normalised(raw - 1));
        const int sign = step > 0 ? 1 : step < 0 ? -1 : 0;
        if (sign == 0 || (direction != 0 && sign != direction)) return false;
        direction = sign;
    }
    return true;
}

// The joystick byte whose scaled value the device stores as the published one.
uint8_t joystickByte(const Polynomial& scale, float published) {
    const long wanted = std::lround(published * valuatorUnits);
    int nearest = joystickAtRest;
    double distance = HUGE_VAL;
    for (int raw = 0; raw <= 255; ++raw) {
        const float value = scaled(scale, normalised(raw));
        if (stored(value) == wanted) return static_cast<uint8_t>(raw);
        if (std::fabs(value - published) < distance) nearest = raw, distance = std::fabs(value - published);
    }
    return static_cast<uint8_t>(nearest);
}

// The output number the device gives real valuator or button r (from 1); 0
// when it drops it.
uint32_t outputOf(const std::array<uint32_t, is900::hostkit::controllerSlots>& order, uint32_t count, uint32_t r) {
    const uint32_t output = r <= count ? order[r - 1] : 0;
    return output <= count ? output : 0;
}

} // namespace

std::string irreversibleSetting(const DeviceSetup& setup) {
    if (setup.calibrated) return "the calibration library " + setup.calibrationLibrary + " changes the poses in its own way";
    if (setup.transmitter.rotationSet && singular(matrixOf(setup.transmitter.rotation)))
        return "the transmitter rotation's matrix is singular";
    for (int station : setup.trackerStations())
        if (setup.sensors[station - 1].rotationSet && singular(matrixOf(setup.sensors[station - 1].rotation)))
            return "the sensor rotation of station " + std::to_string(station) + " has a singular matrix";
    for (int station : setup.controllerStations()) {
        const ControllerSetup& controller = setup.controllers[station - 1];
        for (uint32_t r = 1; r <= rawValuators; ++r)
            if (outputOf(controller.valuatorOrder, controller.valuatorCount, r) &&
                !strictlyMonotonic(controller.valuatorScale[r - 1]))
                return "the valuator scale of station " + std::to_string(station) + ", valuator " + std::to_string(r) +
                       ", is not strictly monotonic from -1 to 1";
    }
    return "";
}

void sentPose(const DeviceSetup& setup, int station, const double published[6], double stepFraction,
              float position[3], float angles[3]) {
    double pose[6];
    for (int i = 0; i < 6; ++i) {
        const double away = published[i] > 0 ? stepFraction * poseStep : published[i] < 0 ? -stepFraction * poseStep : 0;
        pose[i] = published[i] + away;
    }
    const SensorSetup& sensor = setup.sensors[station - 1];
    if (corrected(setup.transmitter, sensor)) uncorrect(setup.transmitter, sensor, pose);
    float p[6];
    for (int i = 0; i < 6; ++i) p[i] = static_cast<float>(pose[i]);
    const float k = setup.centimetres ? optionwords::feetPerCentimetre : optionwords::feetPerInch;
    const float sent[6] = {p[0] / k, p[1] / k, p[2] / k, p[3], p[4], p[5]};
    const float cave[6] = {-p[2] / k, p[0] / k, -p[1] / k, -p[3], p[4], -p[5]};
    const float* chosen = setup.cave ? cave : sent;
    std::copy(chosen, chosen + 3, position);
    std::copy(chosen + 3, chosen + 6, angles);
}

void sentControls(const DeviceSetup& setup, int station, const std::vector<bool>& buttons,
                  const std::vector<float>& valuators, uint8_t& buttonByte, uint8_t joystick[2]) {
    const ControllerSetup& controller = setup.controllers[station - 1];
    buttonByte = 0;
    for (uint32_t r = 1; r <= rawButtons; ++r) {
        const uint32_t output = outputOf(controller.buttonOrder, controller.buttonCount, r);
        if (output && output <= buttons.size() && buttons[output - 1]) buttonByte |= static_cast<uint8_t>(1u << (r - 1));
    }
    for (uint32_t r = 1; r <= rawValuators; ++r) {
        const uint32_t output = outputOf(controller.valuatorOrder, controller.valuatorCount, r);
        joystick[r - 1] = output && output <= valuators.size()
                              ? joystickByte(controller.valuatorScale[r - 1], valuators[output - 1])
                              : joystickAtRest;
    }
}

} // namespace is900sim
