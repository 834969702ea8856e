// A published pose's orientation as a unit quaternion {w, x, y, z} of the
// device's orientation matrix, and the few rotations the quality figures,
// the pose processing and the simulator's trials work with.
#pragma once

#include "rules/Rotation.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace rotation {

constexpr double pi = 3.14159265358979323846;
constexpr double degreesPerRadian = 180 / pi;

using Rotation = std::array<double, 4>; // w, x, y, z
using Triple = std::array<double, 3>; // a position, or a rotation vector (axis times angle, radians)

inline double dot(const Rotation& a, const Rotation& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3]; }

// The quaternion of the matrix of azimuth, elevation and roll (degrees).
inline Rotation quaternionOf(const float pose[6]) {
    double m[3][3];
    orientationMatrix(pose[3], pose[4], pose[5], m);
    const double trace = m[0][0] + m[1][1] + m[2][2];
    // The largest of w, x, y, z from the diagonal, the others from it: no
    // division by a small number.
    if (trace > 0) {
        const double s = 2 * std::sqrt(1 + trace);
        return {s / 4, (m[2][1] - m[1][2]) / s, (m[0][2] - m[2][0]) / s, (m[1][0] - m[0][1]) / s};
    }
    if (m[0][0] > m[1][1] && m[0][0] > m[2][2]) {
        const double s = 2 * std::sqrt(1 + m[0][0] - m[1][1] - m[2][2]);
        return {(m[2][1] - m[1][2]) / s, s / 4, (m[0][1] + m[1][0]) / s, (m[0][2] + m[2][0]) / s};
    }
    if (m[1][1] > m[2][2]) {
        const double s = 2 * std::sqrt(1 + m[1][1] - m[0][0] - m[2][2]);
        return {(m[0][2] - m[2][0]) / s, (m[0][1] + m[1][0]) / s, s / 4, (m[1][2] + m[2][1]) / s};
    }
    const double s = 2 * std::sqrt(1 + m[2][2] - m[0][0] - m[1][1]);
    return {(m[1][0] - m[0][1]) / s, (m[0][2] + m[2][0]) / s, (m[1][2] + m[2][1]) / s, s / 4};
}

// Azimuth, elevation and roll (degrees) of a unit quaternion: the inverse of
// quaternionOf, read from the matrix's entries -sin e, sin a cos e, cos a cos e,
// cos e sin r and cos e cos r.
inline void anglesOf(const Rotation& q, float angles[3]) {
    const double w = q[0], x = q[1], y = q[2], z = q[3];
    const double m01 = 2 * (x * y - w * z), m11 = 1 - 2 * (x * x + z * z);
    const double m20 = 2 * (x * z - w * y), m21 = 2 * (y * z + w * x), m22 = 1 - 2 * (x * x + y * y);
    angles[0] = static_cast<float>(std::atan2(m20, m22) * degreesPerRadian);
    angles[1] = static_cast<float>(std::asin(std::clamp(-m21, -1.0, 1.0)) * degreesPerRadian);
    angles[2] = static_cast<float>(std::atan2(m01, m11) * degreesPerRadian);
}

inline Rotation multiply(const Rotation& a, const Rotation& b) {
    return {a[0] * b[0] - a[1] * b[1] - a[2] * b[2] - a[3] * b[3], a[0] * b[1] + a[1] * b[0] + a[2] * b[3] - a[3] * b[2],
            a[0] * b[2] - a[1] * b[3] + a[2] * b[0] + a[3] * b[1], a[0] * b[3] + a[1] * b[2] - a[2] * b[1] + a[3] * b[0]};
}

inline Rotation inverse(const Rotation& q) { return {q[0], -q[1], -q[2], -q[3]}; }

// The rotation vector (axis times angle, radians) of a unit quaternion, the
// shorter way round.
inline Triple logOf(const Rotation& q) {
    const double sign = q[0] < 0 ? -1 : 1;
    const double s = std::sqrt(q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    const double angle = 2 * std::atan2(s, sign * q[0]);
    const double k = s < 1e-12 ? 2 * sign : sign * angle / s;
    return {k * q[1], k * q[2], k * q[3]};
}

inline Rotation expOf(const Triple& v) {
    const double angle = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    const double k = angle < 1e-12 ? 0.5 : std::sin(angle / 2) / angle;
    return {std::cos(angle / 2), k * v[0], k * v[1], k * v[2]};
}

inline double length(const Triple& v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

} // namespace rotation
