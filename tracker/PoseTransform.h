// Per-sample pose arithmetic. A pose is six floats: x, y, z, then azimuth,
// elevation and roll in degrees. Everything works in place and allocates nothing.
#pragma once

#include "tracker/Matrix4.h"

// Scales the position to feet ('U': inches, otherwise centimetres) and, for
// CAVE coordinates, remaps the axes: (y, -z, -x, -azimuth, elevation, -roll).
void convertToFeet(float pose[6], char dataUnit, bool caveCoordinates);

// Applies the transmitter transform to the position and the orientation, then
// the sensor transform and the sensor translation. Leaves the pose unchanged
// when either matrix is missing; a missing translation counts as zero.
void transformPose(float pose[6], const Matrix4* transmitterTransform, const Matrix4* sensorTransform,
                   const float sensorTranslation[3]);

// Replaces the three angles by those of sensorRotation . R(pose) . transmitterRotation.
void rotatePose(float pose[6], const Matrix4* transmitterTransform, const Matrix4* sensorTransform);
