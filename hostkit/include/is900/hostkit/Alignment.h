// Aligning a room by pointing: the rigid transform that takes published
// positions to the room's coordinates of the same points, and a wand's tip
// found by pivoting about it. Positions in feet, as a host publishes them;
// matrices in the device's row-vector convention (p' = p . R + t).
#pragma once

#include <array>
#include <stdexcept>
#include <vector>

namespace is900 {
namespace hostkit {

using Position = std::array<double, 3>;

// Input the fit cannot use; what() says why ("the points are collinear", ...).
class AlignmentError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct RigidFit {
    std::array<std::array<double, 3>, 3> rotation; // determinant +1
    Position translation;
    std::vector<double> residualsMm; // per point, |measured . R + t - room|
    double rmsMm = 0;
};

// At least three points, spread at least 10 cm and not on one line; a room
// whose coordinates are mirrored (left-handed) is refused.
RigidFit fitRigid(const std::vector<Position>& measured, const std::vector<Position>& room);

struct PivotFit {
    Position tip;   // in the sensor's frame: the offset to add with the sensor's orientation
    Position pivot; // the point the tip rested on, in the published frame
    double rmsMm = 0;
};

// Poses (x, y, z in feet; azimuth, elevation, roll in degrees) of a sensor
// swivelled about a tip held still: at least 20 degrees of swivel.
PivotFit fitPivot(const std::vector<std::array<float, 6>>& poses);

} // namespace hostkit
} // namespace is900
