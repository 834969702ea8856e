#include "tracker/PoseTransform.h"

#include "rules/OptionWords.h"
#include "rules/Rotation.h"

#include <cmath>

namespace {

using Matrix3 = double[3][3];

void rotationBlock(const Matrix4& source, Matrix3& m) {
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m[r][c] = source[4 * r + c];
}

void multiply(const Matrix3& left, const Matrix3& right, Matrix3& product) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            product[i][j] = left[i][0] * right[0][j] + left[i][1] * right[1][j] + left[i][2] * right[2][j];
}

} // namespace

void convertToFeet(float pose[6], char dataUnit, bool caveCoordinates) {
    const float k = dataUnit == 'U' ? optionwords::feetPerInch : optionwords::feetPerCentimetre;
    const float x = pose[0], y = pose[1], z = pose[2];
    if (caveCoordinates) {
        pose[0] = k * y;
        pose[1] = -k * z;
        pose[2] = -k * x;
        pose[3] = -pose[3];
        pose[5] = -pose[5];
    } else {
        pose[0] = k * x;
        pose[1] = k * y;
        pose[2] = k * z;
    }
}

void rotatePose(float pose[6], const Matrix4* transmitterTransform, const Matrix4* sensorTransform) {
    if (!transmitterTransform || !sensorTransform) return;
    Matrix3 sensor, orientation, transmitter, sensorOrientation, n;
    rotationBlock(*sensorTransform, sensor);
    rotationBlock(*transmitterTransform, transmitter);
    rotation::orientationMatrix(pose[3], pose[4], pose[5], orientation);
    multiply(sensor, orientation, sensorOrientation);
    multiply(sensorOrientation, transmitter, n);
    const double toDegrees = radiansToDegrees;
    pose[3] = static_cast<float>(-toDegrees * std::atan2(-n[2][0], n[2][2]));
    pose[4] = static_cast<float>(toDegrees * std::atan2(-n[2][1], std::sqrt(n[2][2] * n[2][2] + n[2][0] * n[2][0])));
    pose[5] = static_cast<float>(toDegrees * std::atan2(n[0][1], n[1][1]));
}

void transformPose(float pose[6], const Matrix4* transmitterTransform, const Matrix4* sensorTransform,
                   const float sensorTranslation[3]) {
    if (!transmitterTransform || !sensorTransform) return;
    const Matrix4& t = *transmitterTransform;
    const Matrix4& s = *sensorTransform;
    const double x = pose[0], y = pose[1], z = pose[2];
    float q[3];
    for (int j = 0; j < 3; ++j) q[j] = static_cast<float>(x * t[j] + y * t[4 + j] + z * t[8 + j] + t[12 + j]);
    rotatePose(pose, transmitterTransform, sensorTransform);
    Matrix3 turned;
    rotation::orientationMatrix(pose[3], pose[4], pose[5], turned);
    for (int j = 0; j < 3; ++j) {
        const double offset = s[12] * turned[0][j] + s[13] * turned[1][j] + s[14] * turned[2][j];
        pose[j] = static_cast<float>(q[j] + offset);
        if (sensorTranslation) pose[j] += sensorTranslation[j];
    }
}
