#include "is900/hostkit/Alignment.h"

#include "rules/OptionWords.h"
#include "rules/Quaternion.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace is900 {
namespace hostkit {

namespace {

const double millimetresPerFoot = optionwords::metresPerFoot * 1000;
const double leastSpreadFeet = 0.1 / optionwords::metresPerFoot; // 10 cm
const double leastWidthFeet = 0.01 / optionwords::metresPerFoot; // 1 cm off the line
const double leastSwivelDegrees = 20;

// Eigenvalues (descending) and their unit eigenvectors (as rows) of a
// symmetric n x n matrix, by cyclic Jacobi rotations.
template <std::size_t n>
void eigen(std::array<std::array<double, n>, n> a, std::array<double, n>& values,
           std::array<std::array<double, n>, n>& vectors) {
    std::array<std::array<double, n>, n> v{};
    for (std::size_t i = 0; i < n; ++i) v[i][i] = 1;
    for (int sweep = 0; sweep < 60; ++sweep) {
        double off = 0;
        for (std::size_t p = 0; p < n; ++p)
            for (std::size_t q = p + 1; q < n; ++q) off += a[p][q] * a[p][q];
        if (off < 1e-30) break;
        for (std::size_t p = 0; p < n; ++p)
            for (std::size_t q = p + 1; q < n; ++q) {
                if (std::fabs(a[p][q]) < 1e-300) continue;
                const double theta = (a[q][q] - a[p][p]) / (2 * a[p][q]);
                const double t = (theta >= 0 ? 1 : -1) / (std::fabs(theta) + std::sqrt(theta * theta + 1));
                const double c = 1 / std::sqrt(t * t + 1), s = t * c;
                for (std::size_t k = 0; k < n; ++k) {
                    const double akp = a[k][p], akq = a[k][q];
                    a[k][p] = c * akp - s * akq;
                    a[k][q] = s * akp + c * akq;
                }
                for (std::size_t k = 0; k < n; ++k) {
                    const double apk = a[p][k], aqk = a[q][k];
                    a[p][k] = c * apk - s * aqk;
                    a[q][k] = s * apk + c * aqk;
                }
                for (std::size_t k = 0; k < n; ++k) {
                    const double vkp = v[k][p], vkq = v[k][q];
                    v[k][p] = c * vkp - s * vkq;
                    v[k][q] = s * vkp + c * vkq;
                }
            }
    }
    std::array<std::size_t, n> order;
    for (std::size_t i = 0; i < n; ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) { return a[x][x] > a[y][y]; });
    for (std::size_t i = 0; i < n; ++i) {
        values[i] = a[order[i]][order[i]];
        for (std::size_t k = 0; k < n; ++k) vectors[i][k] = v[k][order[i]];
    }
}

Position mean(const std::vector<Position>& points) {
    Position sum{};
    for (const Position& p : points)
        for (int a = 0; a < 3; ++a) sum[a] += p[a] / static_cast<double>(points.size());
    return sum;
}

// Refuses points that are too close together or on one line.
void checkSpread(const std::vector<Position>& points, const char* which) {
    const Position centre = mean(points);
    std::array<std::array<double, 3>, 3> covariance{};
    for (const Position& p : points)
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b) covariance[a][b] += (p[a] - centre[a]) * (p[b] - centre[b]) / points.size();
    std::array<double, 3> values;
    std::array<std::array<double, 3>, 3> vectors;
    eigen<3>(covariance, values, vectors);
    if (std::sqrt(std::max(0.0, values[0])) < leastSpreadFeet)
        throw AlignmentError(std::string("the ") + which + " points are too close together (spread them at least 10 cm)");
    if (std::sqrt(std::max(0.0, values[1])) < leastWidthFeet)
        throw AlignmentError(std::string("the ") + which + " points are collinear (take one off their line)");
}

// Horn's closed form: the unit quaternion of the best rotation is the
// eigenvector of the largest eigenvalue of a 4 x 4 matrix of the points'
// cross-covariance.
RigidFit properFit(const std::vector<Position>& measured, const std::vector<Position>& room) {
    const Position m = mean(measured), r = mean(room);
    double s[3][3] = {};
    for (std::size_t i = 0; i < measured.size(); ++i)
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b) s[a][b] += (measured[i][a] - m[a]) * (room[i][b] - r[b]);
    const std::array<std::array<double, 4>, 4> n = {{
        {s[0][0] + s[1][1] + s[2][2], s[1][2] - s[2][1], s[2][0] - s[0][2], s[0][1] - s[1][0]},
        {s[1][2] - s[2][1], s[0][0] - s[1][1] - s[2][2], s[0][1] + s[1][0], s[2][0] + s[0][2]},
        {s[2][0] - s[0][2], s[0][1] + s[1][0], -s[0][0] + s[1][1] - s[2][2], s[1][2] + s[2][1]},
        {s[0][1] - s[1][0], s[2][0] + s[0][2], s[1][2] + s[2][1], -s[0][0] - s[1][1] + s[2][2]},
    }};
    std::array<double, 4> values;
    std::array<std::array<double, 4>, 4> vectors;
    eigen<4>(n, values, vectors);
    const double w = vectors[0][0], x = vectors[0][1], y = vectors[0][2], z = vectors[0][3];
    // The column rotation Q with room = Q . measured; the row convention's R is its transpose.
    const double q[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                            {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                            {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
    RigidFit fit;
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b) fit.rotation[a][b] = q[b][a];
    for (int b = 0; b < 3; ++b)
        fit.translation[b] = r[b] - (m[0] * fit.rotation[0][b] + m[1] * fit.rotation[1][b] + m[2] * fit.rotation[2][b]);
    double squares = 0;
    for (std::size_t i = 0; i < measured.size(); ++i) {
        double distance = 0;
        for (int b = 0; b < 3; ++b) {
            const double mapped = measured[i][0] * fit.rotation[0][b] + measured[i][1] * fit.rotation[1][b] +
                                  measured[i][2] * fit.rotation[2][b] + fit.translation[b];
            distance += (mapped - room[i][b]) * (mapped - room[i][b]);
        }
        fit.residualsMm.push_back(std::sqrt(distance) * millimetresPerFoot);
        squares += distance;
    }
    fit.rmsMm = std::sqrt(squares / measured.size()) * millimetresPerFoot;
    return fit;
}

} // namespace

RigidFit fitRigid(const std::vector<Position>& measured, const std::vector<Position>& room) {
    if (measured.size() != room.size() || measured.size() < 3)
        throw AlignmentError("at least three points are needed, each with its room coordinates");
    checkSpread(measured, "measured");
    checkSpread(room, "room");
    RigidFit fit = properFit(measured, room);
    // A mirrored room fits a rotation only badly, and its mirror image well.
    std::vector<Position> mirrored = room;
    for (Position& p : mirrored) p[0] = -p[0];
    if (fit.rmsMm > 5 && properFit(measured, mirrored).rmsMm < fit.rmsMm / 4)
        throw AlignmentError("the room's coordinates are left-handed (a mirror image of the tracker's); check the "
                             "sign of one axis");
    return fit;
}

PivotFit fitPivot(const std::vector<std::array<float, 6>>& poses) {
    if (poses.size() < 3) throw AlignmentError("a pivot needs at least three poses");
    const rotation::Rotation first = rotation::quaternionOf(poses.front().data());
    double swivel = 0;
    for (const auto& pose : poses)
        swivel = std::max(swivel, 2 * std::acos(std::min(1.0, std::fabs(rotation::dot(first, rotation::quaternionOf(pose.data()))))));
    if (swivel * rotation::degreesPerRadian < leastSwivelDegrees)
        throw AlignmentError("the wand swivelled too little about its tip (at least 20 degrees)");
    // tip . R_i - pivot = -p_i for each pose: normal equations of 6 unknowns.
    double normal[6][7] = {};
    for (const auto& pose : poses) {
        double m[3][3];
        rotation::orientationMatrix(pose[3], pose[4], pose[5], m);
        for (int j = 0; j < 3; ++j) { // one equation per output axis j
            double row[7] = {m[0][j], m[1][j], m[2][j], 0, 0, 0, -static_cast<double>(pose[j])};
            row[3 + j] = -1;
            for (int a = 0; a < 6; ++a)
                for (int b = 0; b < 7; ++b) normal[a][b] += row[a] * row[b];
        }
    }
    for (int c = 0; c < 6; ++c) { // Gauss-Jordan with partial pivoting
        int best = c;
        for (int r = c + 1; r < 6; ++r)
            if (std::fabs(normal[r][c]) > std::fabs(normal[best][c])) best = r;
        std::swap(normal[c], normal[best]);
        if (std::fabs(normal[c][c]) < 1e-12) throw AlignmentError("the wand swivelled too little about its tip (at least 20 degrees)");
        for (int r = 0; r < 6; ++r) {
            if (r == c) continue;
            const double f = normal[r][c] / normal[c][c];
            for (int b = c; b < 7; ++b) normal[r][b] -= f * normal[c][b];
        }
    }
    PivotFit fit;
    for (int a = 0; a < 3; ++a) {
        fit.tip[a] = normal[a][6] / normal[a][a];
        fit.pivot[a] = normal[3 + a][6] / normal[3 + a][3 + a];
    }
    double squares = 0;
    for (const auto& pose : poses) {
        double m[3][3];
        rotation::orientationMatrix(pose[3], pose[4], pose[5], m);
        for (int j = 0; j < 3; ++j) {
            const double at = fit.tip[0] * m[0][j] + fit.tip[1] * m[1][j] + fit.tip[2] * m[2][j] + pose[j];
            squares += (at - fit.pivot[j]) * (at - fit.pivot[j]);
        }
    }
    fit.rmsMm = std::sqrt(squares / poses.size()) * millimetresPerFoot;
    return fit;
}

Position heldPosition(const std::vector<Pose>& poses) {
    if (poses.size() < 2) throw AlignmentError("no poses were received while the point was taken");
    std::vector<Position> all, first, second;
    for (std::size_t i = 0; i < poses.size(); ++i) {
        const Position p{{poses[i][0], poses[i][1], poses[i][2]}};
        all.push_back(p);
        (2 * i < poses.size() ? first : second).push_back(p);
    }
    const Position centre = mean(all), early = mean(first), late = mean(second);
    double drift = 0, farthest = 0;
    for (int a = 0; a < 3; ++a) drift += (late[a] - early[a]) * (late[a] - early[a]);
    for (const Position& p : all) {
        double distance = 0;
        for (int a = 0; a < 3; ++a) distance += (p[a] - centre[a]) * (p[a] - centre[a]);
        farthest = std::max(farthest, std::sqrt(distance));
    }
    const double driftMm = std::sqrt(drift) * millimetresPerFoot, farthestMm = farthest * millimetresPerFoot;
    if (driftMm > 3 || farthestMm > 10) {
        char text[120];
        std::snprintf(text, sizeof text, "the sensor moved while the point was taken (%.1f mm); hold it still",
                      std::max(driftMm, farthestMm));
        throw AlignmentError(text);
    }
    return centre;
}

Position offsetInSensorFrame(const Pose& sensor, const Position& point) {
    double m[3][3];
    rotation::orientationMatrix(sensor[3], sensor[4], sensor[5], m);
    // offset . M = point - position; M is a rotation, so offset = d . M^T.
    Position offset{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) offset[i] += (point[j] - sensor[j]) * m[i][j];
    return offset;
}

namespace {

using Rows = std::array<std::array<double, 3>, 3>;

// The axis and angle of a row-convention rotation: its transpose is the
// usual column rotation by +angle about the axis. By way of the quaternion,
// which stays exact near half a turn.
void axisAngleOf(const Rows& m, Position& axis, double& angleDegrees) {
    const double trace = m[0][0] + m[1][1] + m[2][2];
    double q[4]; // w, x, y, z of the column rotation c = m^T
    if (trace > 0) {
        const double s = 2 * std::sqrt(1 + trace);
        q[0] = s / 4;
        q[1] = (m[1][2] - m[2][1]) / s;
        q[2] = (m[2][0] - m[0][2]) / s;
        q[3] = (m[0][1] - m[1][0]) / s;
    } else {
        int i = 0;
        if (m[1][1] > m[i][i]) i = 1;
        if (m[2][2] > m[i][i]) i = 2;
        const int j = (i + 1) % 3, k = (i + 2) % 3;
        const double s = 2 * std::sqrt(1 + m[i][i] - m[j][j] - m[k][k]);
        q[1 + i] = s / 4;
        q[0] = (m[j][k] - m[k][j]) / s;
        q[1 + j] = (m[i][j] + m[j][i]) / s;
        q[1 + k] = (m[i][k] + m[k][i]) / s;
    }
    const double sine = std::sqrt(q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    if (sine < 1e-15) {
        axis = {{0, 0, 1}};
        angleDegrees = 0;
        return;
    }
    for (int a = 0; a < 3; ++a) axis[a] = q[1 + a] / sine;
    angleDegrees = 2 * std::atan2(sine, q[0]) * rotation::degreesPerRadian;
    if (angleDegrees > 180) { // the same turn the short way round
        angleDegrees = 360 - angleDegrees;
        for (double& value : axis) value = -value;
    }
}

std::string significant(double value) {
    if (std::fabs(value) < 5e-13) value = 0; // no "-0" or rounding dust of an exact zero
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

std::string keyword(const optionwords::Words& words) { return std::string(words.list[0]) + " "; }

// A length in feet as the device reads it back from metres.
std::string metres(double feet) { return significant(feet / optionwords::feetPerMetre); }

} // namespace

TransmitterCorrection composeTransmitter(const Placement& current, const RigidFit& fit) {
    Rows now{}, composed{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) now[i][j] = current.rotationSet ? current.rotation[3 * i + j] : (i == j ? 1 : 0);
    // p . T . A + (t . A + b): the current rotation T, then the fit's A.
    TransmitterCorrection correction;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) composed[i][j] += now[i][k] * fit.rotation[k][j];
    for (int j = 0; j < 3; ++j) {
        correction.offset[j] = fit.translation[j];
        if (current.offsetSet)
            for (int k = 0; k < 3; ++k) correction.offset[j] += current.offset[k] * fit.rotation[k][j];
    }
    axisAngleOf(composed, correction.axis, correction.angleDegrees);
    return correction;
}

Position composeSensorOffset(const SensorSetup& current, const PivotFit& fit) {
    Position offset = fit.tip;
    if (current.offsetSet)
        for (int a = 0; a < 3; ++a) offset[a] += current.offset[a];
    return offset;
}

std::string unalignableStation(const DeviceSetup& setup, int station) {
    if (station < 1 || station > deviceStationCount || !setup.trackerOn[station - 1])
        return "station " + std::to_string(station) + " is not a tracker station the device publishes";
    if (setup.sensors[station - 1].translationSet)
        return "station " + std::to_string(station) +
               " has a sensortranslation, which is added after every correction; remove it to align with this station";
    return "";
}

std::vector<std::string> transmitterLines(const TransmitterCorrection& correction) {
    const Position& t = correction.offset;
    const Position& u = correction.axis;
    return {keyword(optionwords::transmitterOffset) + metres(t[0]) + " " + metres(t[1]) + " " + metres(t[2]) + " m",
            keyword(optionwords::transmitterRotation) + significant(u[0]) + " " + significant(u[1]) + " " + significant(u[2]) + " " +
                significant(correction.angleDegrees)};
}

std::string sensorOffsetLine(int station, const Position& offsetFeet) {
    return keyword(optionwords::sensorOffset) + std::to_string(station) + " " + metres(offsetFeet[0]) + " " + metres(offsetFeet[1]) +
           " " + metres(offsetFeet[2]) + " m";
}

} // namespace hostkit
} // namespace is900
