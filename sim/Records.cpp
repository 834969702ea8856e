#include "sim/Records.h"

#include "rules/OptionWords.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace is900sim {

namespace {

const double pi = 3.14159265358979323846;

void unitVector(const double from[3], const double to[3], double out[3], double& length) {
    for (int i = 0; i < 3; ++i) out[i] = to[i] - from[i];
    length = std::sqrt(out[0] * out[0] + out[1] * out[1] + out[2] * out[2]);
    if (length > 0)
        for (int i = 0; i < 3; ++i) out[i] /= length;
}

void cross(const double a[3], const double b[3], double out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}


void multiply(const double left[3][3], const double right[3][3], double out[3][3]) {
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column) {
            out[row][column] = 0;
            for (int k = 0; k < 3; ++k) out[row][column] += left[row][k] * right[k][column];
        }
}

void appendFloat(std::vector<uint8_t>& bytes, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(bits >> shift));
}

void appendText(std::vector<uint8_t>& bytes, const char* format, double value) {
    char text[32];
    int length = std::snprintf(text, sizeof text, format, value);
    bytes.insert(bytes.end(), text, text + (length > 0 ? length : 0));
}

void appendValues(std::vector<uint8_t>& bytes, const float values[3], bool binary) {
    for (int i = 0; i < 3; ++i) binary ? appendFloat(bytes, values[i]) : appendText(bytes, "%7.2f", values[i]);
}

void appendByte(std::vector<uint8_t>& bytes, uint8_t value, bool binary) {
    binary ? bytes.push_back(value) : appendText(bytes, "%4.0f", value);
}

void appendItem(SentRecord& record, int item, const Sample& sample) {
    std::vector<uint8_t>& bytes = record.bytes;
    switch (item) {
    case 1: bytes.push_back('\r'), bytes.push_back('\n'); break;
    case 2: record.hasPosition = true, appendValues(bytes, record.position, record.binary); break;
    case 4: record.hasAngles = true, appendValues(bytes, record.angles, record.binary); break;
    case 22: record.hasButtons = true, appendByte(bytes, sample.buttons, record.binary); break;
    case 23:
        record.hasJoystick = true;
        appendByte(bytes, sample.joystick[0], record.binary);
        appendByte(bytes, sample.joystick[1], record.binary);
        break;
    default: break;
    }
}

// A CR LF before the record's own end: a reader ends the record there.
bool holdsCrLf(const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i + 2 < bytes.size(); ++i)
        if (bytes[i] == 0x0D && bytes[i + 1] == 0x0A) return true;
    return false;
}

} // namespace

// Azimuth about Z, then elevation about Y, then roll about X.
void anglesOf(const double rotation[3][3], float angles[3]) {
    double sine = -rotation[2][0];
    sine = sine > 1 ? 1 : sine < -1 ? -1 : sine;
    angles[0] = static_cast<float>(std::atan2(rotation[1][0], rotation[0][0]) * 180 / pi);
    angles[1] = static_cast<float>(std::asin(sine) * 180 / pi);
    angles[2] = static_cast<float>(std::atan2(rotation[2][1], rotation[2][2]) * 180 / pi);
}

void rotationOf(const float angles[3], double out[3][3]) {
    double a = angles[0] * pi / 180, e = angles[1] * pi / 180, r = angles[2] * pi / 180;
    double ca = std::cos(a), sa = std::sin(a), ce = std::cos(e), se = std::sin(e), cr = std::cos(r), sr = std::sin(r);
    const double rotation[3][3] = {{ca * ce, ca * se * sr - sa * cr, ca * se * cr + sa * sr},
                                   {sa * ce, sa * se * sr + ca * cr, sa * se * cr - ca * sr},
                                   {-se, ce * sr, ce * cr}};
    std::memcpy(out, rotation, sizeof rotation);
}

void turnAngles(float angles[3], const double rotationVector[3]) {
    const double* v = rotationVector;
    const double angle = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (angle == 0) return;
    const double k[3] = {v[0] / angle, v[1] / angle, v[2] / angle};
    const double c = std::cos(angle), s = std::sin(angle);
    // Rodrigues: c I + (1 - c) k k' + s [k]x
    const double skew[3][3] = {{0, -k[2], k[1]}, {k[2], 0, -k[0]}, {-k[1], k[0], 0}};
    double turn[3][3];
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            turn[row][column] = (row == column ? c : 0) + (1 - c) * k[row] * k[column] + s * skew[row][column];
    double rotation[3][3], turned[3][3];
    rotationOf(angles, rotation);
    multiply(rotation, turn, turned);
    anglesOf(turned, angles);
}

bool sameFrame(const AlignmentFrame& a, const AlignmentFrame& b) {
    for (int i = 0; i < 3; ++i) {
        if (std::fabs(a.origin[i] - b.origin[i]) > 1e-9) return false;
        for (int j = 0; j < 3; ++j)
            if (std::fabs(a.axes[i][j] - b.axes[i][j]) > 1e-9) return false;
    }
    return true;
}

bool alignOnTop(AlignmentFrame& frame, const double numbers[9]) {
    double newAxes[3][3], xLength, yLength, zLength;
    unitVector(numbers, numbers + 3, newAxes[0], xLength);
    unitVector(numbers, numbers + 6, newAxes[1], yLength);
    cross(newAxes[0], newAxes[1], newAxes[2]);
    zLength = std::sqrt(newAxes[2][0] * newAxes[2][0] + newAxes[2][1] * newAxes[2][1] + newAxes[2][2] * newAxes[2][2]);
    if (xLength == 0 || yLength == 0 || zLength < 1e-9) return false;
    for (double& value : newAxes[2]) value /= zLength;
    cross(newAxes[2], newAxes[0], newAxes[1]);
    for (int axis = 0; axis < 3; ++axis)
        for (int row = 0; row < 3; ++row) frame.origin[axis] += frame.axes[row][axis] * numbers[row];
    double combined[3][3];
    multiply(newAxes, frame.axes, combined);
    std::memcpy(frame.axes, combined, sizeof combined);
    return true;
}

Sample seenInFrame(const AlignmentFrame& frame, const Sample& sample) {
    Sample seen = sample;
    for (int row = 0; row < 3; ++row) {
        double sum = 0;
        for (int k = 0; k < 3; ++k) sum += frame.axes[row][k] * (sample.position[k] - frame.origin[k]);
        seen.position[row] = static_cast<float>(sum);
    }
    double rotation[3][3], turned[3][3];
    rotationOf(sample.angles, rotation);
    multiply(frame.axes, rotation, turned);
    anglesOf(turned, seen.angles);
    return seen;
}

char stationCharacter(int station) { return "0123456789ABC"[station >= 0 && station <= 12 ? station : 0]; }

int stationOfCharacter(char character) {
    if (character >= '1' && character <= '9') return character - '0';
    if (character >= 'A' && character <= 'C') return character - 'A' + 10;
    if (character >= 'a' && character <= 'c') return character - 'a' + 10;
    return 0;
}

std::vector<int> defaultOutputList(StationKind kind) {
    switch (kind) {
    case StationKind::wand: return {22, 23, 1};
    case StationKind::both: return {2, 4, 22, 23, 1};
    default: return {2, 4, 1};
    }
}

bool knownItem(int item) { return item == 1 || item == 2 || item == 4 || item == 22 || item == 23; }

SentRecord encodeRecord(int station, const std::vector<int>& items, bool binary, bool centimetres,
                        const Sample& sample, bool forceCrLf) {
    SentRecord record;
    record.station = station;
    record.binary = binary;
    for (int axis = 0; axis < 3; ++axis) {
        record.position[axis] = centimetres ? sample.position[axis]
                                            : static_cast<float>(sample.position[axis] / optionwords::centimetresPerInch);
        record.angles[axis] = sample.angles[axis];
    }
    if (forceCrLf) record.position[0] = crLfFloat();
    record.buttons = sample.buttons;
    record.joystick[0] = sample.joystick[0];
    record.joystick[1] = sample.joystick[1];
    record.bytes = {'0', static_cast<uint8_t>(stationCharacter(station)), ' '};
    for (int item : items) appendItem(record, item, sample);
    record.crLfInside = binary && holdsCrLf(record.bytes);
    return record;
}

float crLfFloat() {
    const uint32_t bits = 0x41A00A0DU;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace is900sim
