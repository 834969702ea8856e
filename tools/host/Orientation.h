// A sensor's orientation as the pose pipeline defines it. The pipeline's
// matrix R(azimuth, elevation, roll) is used with row vectors (p' = p . R):
// row i of R is the sensor's own axis i written in the output frame. The
// quaternion here is the same rotation for column vectors (v' = q v q*): it
// turns a vector given in the sensor's frame into the output frame, as ROS
// and three.js expect of an orientation.
#pragma once

struct Quaternion {
    double x, y, z, w; // w is the scalar part
};

// R(azimuth, elevation, roll) in degrees = Rz(roll) . Rx(elevation) . Ry(azimuth)
// in the row-vector form: roll about Z first, then elevation about X, then
// azimuth about Y.
void pipelineRotation(double azimuth, double elevation, double roll, double matrix[3][3]);

// The unit quaternion of exactly that matrix, with w >= 0.
Quaternion orientationQuaternion(double azimuth, double elevation, double roll);
