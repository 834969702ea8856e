#include "host/view/Orientation.h"

#include "rules/Rotation.h"

#include <cmath>

void orientationMatrix(double azimuth, double elevation, double roll, double m[3][3]) {
    rotation::orientationMatrix(azimuth, elevation, roll, m);
}

// The quaternion of the column-vector matrix M = transpose(R), so M[i][j] is
// m[j][i]; the largest of w, x, y, z is taken from the diagonal and the others
// from the off-diagonal sums, which keeps the division well away from zero.
Quaternion quaternionOf(const double m[3][3]) {
    const double trace = m[0][0] + m[1][1] + m[2][2];
    Quaternion q;
    if (trace > 0) {
        const double s = 2 * std::sqrt(1 + trace);
        q = {(m[1][2] - m[2][1]) / s, (m[2][0] - m[0][2]) / s, (m[0][1] - m[1][0]) / s, s / 4};
    } else if (m[0][0] >= m[1][1] && m[0][0] >= m[2][2]) {
        const double s = 2 * std::sqrt(1 + m[0][0] - m[1][1] - m[2][2]);
        q = {s / 4, (m[1][0] + m[0][1]) / s, (m[2][0] + m[0][2]) / s, (m[1][2] - m[2][1]) / s};
    } else if (m[1][1] >= m[2][2]) {
        const double s = 2 * std::sqrt(1 + m[1][1] - m[0][0] - m[2][2]);
        q = {(m[1][0] + m[0][1]) / s, s / 4, (m[2][1] + m[1][2]) / s, (m[2][0] - m[0][2]) / s};
    } else {
        const double s = 2 * std::sqrt(1 + m[2][2] - m[0][0] - m[1][1]);
        q = {(m[2][0] + m[0][2]) / s, (m[2][1] + m[1][2]) / s, s / 4, (m[0][1] - m[1][0]) / s};
    }
    const double sign = q.w < 0 ? -1 : 1;
    const double length = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    return {sign * q.x / length, sign * q.y / length, sign * q.z / length, sign * q.w / length};
}

Quaternion orientationQuaternion(double azimuth, double elevation, double roll) {
    double m[3][3];
    orientationMatrix(azimuth, elevation, roll, m);
    return quaternionOf(m);
}
