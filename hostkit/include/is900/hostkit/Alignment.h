// Aligning a room by pointing: the rigid transform that takes published
// positions to the room's coordinates of the same points, and a wand's tip
// found by pivoting about it. Positions in feet, as a host publishes them;
// matrices in the device's row-vector convention (p' = p . R + t).
#pragma once

#include "is900/hostkit/DeviceSetup.h"

#include <array>
#include <stdexcept>
#include <string>
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

using Pose = std::array<float, 6>; // x, y, z in feet; azimuth, elevation, roll in degrees

// The mean position of a sensor held still for a point (a second of its
// poses); refused when it moved meanwhile: its halves' means apart more than
// 3 mm, or one pose more than 10 mm from the mean.
Position heldPosition(const std::vector<Pose>& poses);

// Where a point given in the published frame lies in a sensor's published
// frame: the offset from the sensor that reaches it (feet).
Position offsetInSensorFrame(const Pose& sensor, const Position& point);

// A transmitter correction as its option lines give it: an offset in feet
// and a rotation about an axis by an angle in degrees (right-handed).
struct TransmitterCorrection {
    Position offset{};
    Position axis{{0, 0, 1}};
    double angleDegrees = 0;
};

// The correction that takes the tracker's poses to the room: the device's
// current one, which the measured poses already carry, followed by the fit.
TransmitterCorrection composeTransmitter(const Placement& current, const RigidFit& fit);

// The station's sensor offset after a pivot: the current offset, which the
// published poses already carry, plus the tip found from them.
Position composeSensorOffset(const SensorSetup& current, const PivotFit& fit);

// Empty when the station's poses can be aligned; otherwise why not (a
// sensortranslation is added in the output frame, after every correction).
std::string unalignableStation(const DeviceSetup& setup, int station);

// The option lines, numbers with 9 significant digits, lengths in metres:
// "transmitteroffset X Y Z m", "transmitterrotation AX AY AZ ANGLE" and
// "sensoroffset STATION X Y Z m".
std::vector<std::string> transmitterLines(const TransmitterCorrection& correction);
std::string sensorOffsetLine(int station, const Position& offsetFeet);

} // namespace hostkit
} // namespace is900
