// The orientation of a published pose as other software expects it: the
// rotation matrix the device's pose pipeline builds from azimuth, elevation
// and roll, and the unit quaternion of that matrix.
#pragma once

// R(a, e, r) = Rz(r) . Rx(e) . Ry(a) for row vectors (p' = p . R), angles in
// degrees: the matrix the pipeline turns sensor-frame vectors with. Row i is
// the image of the sensor's unit axis i in the output frame.
void orientationMatrix(double azimuth, double elevation, double roll, double matrix[3][3]);

struct Quaternion {
    double x, y, z, w; // w the scalar part; w >= 0
};

// The quaternion q with q v q* = v . R for every vector v (as a column, it
// rotates by the transpose of R): it turns the sensor's frame into the output
// frame, the meaning of a ROS pose's orientation.
Quaternion quaternionOf(const double matrix[3][3]);
Quaternion orientationQuaternion(double azimuth, double elevation, double roll);
