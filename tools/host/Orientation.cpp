#include "tools/host/Orientation.h"

#include <cmath>

namespace {

const double degreesToRadians = 3.14159265358979323846 / 180.0;

} // namespace

void pipelineRotation(double azimuth, double elevation, double roll, double m[3][3]) {
    const double ca = std::cos(azimuth * degreesToRadians), sa = std::sin(azimuth * degreesToRadians);
    const double ce = std::cos(elevation * degreesToRadians), se = std::sin(elevation * degreesToRadians);
    const double cr = std::cos(roll * degreesToRadians), sr = std::sin(roll * degreesToRadians);
    m[0][0] = ca * cr + sa * se * sr, m[0][1] = ce * sr, m[0][2] = -sa * cr + ca * se * sr;
    m[1][0] = -ca * sr + sa * se * cr, m[1][1] = ce * cr, m[1][2] = sa * sr + ca * se * cr;
    m[2][0] = sa * ce, m[2][1] = -se, m[2][2] = ca * ce;
}

// For column vectors the rotation is M = R transposed, so M(i, j) = R(j, i);
// the branches keep the division away from a small divisor.
Quaternion orientationQuaternion(double azimuth, double elevation, double roll) {
    double r[3][3];
    pipelineRotation(azimuth, elevation, roll, r);
    const auto m = [&r](int i, int j) { return r[j][i]; };
    const double trace = m(0, 0) + m(1, 1) + m(2, 2);
    Quaternion q;
    if (trace > 0) {
        const double s = 2 * std::sqrt(1 + trace);
        q = {(m(2, 1) - m(1, 2)) / s, (m(0, 2) - m(2, 0)) / s, (m(1, 0) - m(0, 1)) / s, s / 4};
    } else if (m(0, 0) > m(1, 1) && m(0, 0) > m(2, 2)) {
        const double s = 2 * std::sqrt(1 + m(0, 0) - m(1, 1) - m(2, 2));
        q = {s / 4, (m(0, 1) + m(1, 0)) / s, (m(0, 2) + m(2, 0)) / s, (m(2, 1) - m(1, 2)) / s};
    } else if (m(1, 1) > m(2, 2)) {
        const double s = 2 * std::sqrt(1 + m(1, 1) - m(0, 0) - m(2, 2));
        q = {(m(0, 1) + m(1, 0)) / s, s / 4, (m(1, 2) + m(2, 1)) / s, (m(0, 2) - m(2, 0)) / s};
    } else {
        const double s = 2 * std::sqrt(1 + m(2, 2) - m(0, 0) - m(1, 1));
        q = {(m(0, 2) + m(2, 0)) / s, (m(1, 2) + m(2, 1)) / s, s / 4, (m(1, 0) - m(0, 1)) / s};
    }
    const double sign = q.w < 0 ? -1 : 1;
    const double norm = sign / std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    return {q.x * norm, q.y * norm, q.z * norm, q.w * norm};
}
