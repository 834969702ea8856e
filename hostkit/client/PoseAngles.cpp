#include "PoseAngles.h"

#include <algorithm>
#include <cmath>

namespace is900 {
namespace hostkit {

void anglesOfQuaternion(const double q[4], double angles[3]) {
    const double x = q[0], y = q[1], z = q[2], w = q[3];
    // Entries of R (row-vector form); R[i][j] is the column-vector matrix's [j][i].
    const double r20 = 2 * (x * z + y * w), r22 = 1 - 2 * (x * x + y * y), r21 = 2 * (y * z - x * w);
    const double r01 = 2 * (x * y + z * w), r11 = 1 - 2 * (x * x + z * z);
    // The device's own degree constant, so angles come back as it gave them.
    const double toDegrees = 1 / static_cast<double>(0.01745329f);
    angles[0] = std::atan2(r20, r22) * toDegrees;
    angles[1] = std::asin(std::max(-1.0, std::min(1.0, -r21))) * toDegrees;
    angles[2] = std::atan2(r01, r11) * toDegrees;
}

} // namespace hostkit
} // namespace is900
