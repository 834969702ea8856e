#include "tools/host/Orientation.h"

#include "tracker/Matrix4.h"
#include "tracker/PoseTransform.h"

#include <gtest/gtest.h>

namespace {

// v' = q v q*, the way ROS and three.js apply an orientation.
void rotate(const Quaternion& q, const double v[3], double out[3]) {
    const double tx = 2 * (q.y * v[2] - q.z * v[1]), ty = 2 * (q.z * v[0] - q.x * v[2]),
                 tz = 2 * (q.x * v[1] - q.y * v[0]);
    out[0] = v[0] + q.w * tx + (q.y * tz - q.z * ty);
    out[1] = v[1] + q.w * ty + (q.z * tx - q.x * tz);
    out[2] = v[2] + q.w * tz + (q.x * ty - q.y * tx);
}

// Where the plug-in's own pipeline puts the sensor's axis: a sensor offset of
// one foot along that axis, from the origin, lands on the axis in the output frame.
void pipelineAxis(float azimuth, float elevation, float roll, int axis, double out[3]) {
    float pose[6] = {0, 0, 0, azimuth, elevation, roll};
    const Matrix4 transmitter = identityMatrix();
    const Matrix4 sensor = composeTransform(identityMatrix(), offsetMatrix(axis == 0, axis == 1, axis == 2));
    transformPose(pose, &transmitter, &sensor, nullptr);
    for (int i = 0; i < 3; ++i) out[i] = pose[i];
}

} // namespace

TEST(Orientation, QuaternionTurnsTheSensorAxesWhereThePipelinePutsThem) {
    const Quaternion quarterTurn = orientationQuaternion(90, 0, 0);
    EXPECT_NEAR(0.0, quarterTurn.x, 1e-12);
    EXPECT_NEAR(0.7071067811865476, quarterTurn.y, 1e-12); // right-handed about +Y
    EXPECT_NEAR(0.0, quarterTurn.z, 1e-12);
    EXPECT_NEAR(0.7071067811865476, quarterTurn.w, 1e-12);

    const float poses[][3] = {{90, 0, 0}, {0, 30, 0}, {0, 0, -45}, {-106.5f, -30.5f, 103.3f},
                              {179, 80, -179}, {45, -60, 170}, {-170, 10, 5}};
    for (const auto& pose : poses) {
        const Quaternion q = orientationQuaternion(pose[0], pose[1], pose[2]);
        EXPECT_NEAR(1.0, q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1e-12);
        for (int axis = 0; axis < 3; ++axis) {
            const double unit[3] = {double(axis == 0), double(axis == 1), double(axis == 2)};
            double turned[3], expected[3];
            rotate(q, unit, turned);
            pipelineAxis(pose[0], pose[1], pose[2], axis, expected);
            for (int i = 0; i < 3; ++i)
                EXPECT_NEAR(expected[i], turned[i], 1e-5) << pose[0] << " " << pose[1] << " " << pose[2] << " axis " << axis;
        }
    }
}
