// The device's orientation matrix and its degree constant. The plug-in's
// pose pipeline turns poses with it; the host's published orientation and
// the simulator's inverse of the pipeline must build the very same matrix.
#pragma once

#include <cmath>

namespace rotation {

// The device's degree constants, 32-bit floats.
constexpr float degreesToRadians = 0.01745329f;
constexpr float radiansToDegrees = 57.295776f;

// R(a, e, r) = Rz(r) . Rx(e) . Ry(a) for row vectors (p' = p . R), angles in
// degrees. Row i is the image of the sensor's unit axis i in the output frame.
inline void orientationMatrix(double azimuth, double elevation, double roll, double m[3][3]) {
    const double k = degreesToRadians;
    const double a = azimuth * k, e = elevation * k, r = roll * k;
    const double ca = std::cos(a), sa = std::sin(a);
    const double ce = std::cos(e), se = std::sin(e);
    const double cr = std::cos(r), sr = std::sin(r);
    m[0][0] = ca * cr + sa * se * sr;
    m[0][1] = ce * sr;
    m[0][2] = -sa * cr + ca * se * sr;
    m[1][0] = -ca * sr + sa * se * cr;
    m[1][1] = ce * cr;
    m[1][2] = sa * sr + ca * se * cr;
    m[2][0] = sa * ce;
    m[2][1] = -se;
    m[2][2] = ca * ce;
}

} // namespace rotation
