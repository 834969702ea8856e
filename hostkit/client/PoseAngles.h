// A published orientation back in the host's terms: the quaternion of a
// pose (x, y, z, w) as azimuth, elevation and roll in degrees, inverse to
// R(a, e, r) = Rz(r) . Rx(e) . Ry(a) for row vectors, the quaternion turning
// column vectors by transpose(R).
#pragma once

#include "rules/OptionWords.h"

namespace is900 {
namespace hostkit {

void anglesOfQuaternion(const double quaternion[4], double angles[3]);

const double feetPerMetre = 1 / optionwords::metresPerFoot;

} // namespace hostkit
} // namespace is900
