#include "tools/host/Orientation.h"
#include "tools/host/web/WebLines.h"

#include "tracker/Matrix4.h"
#include "tracker/PoseTransform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

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

TEST(WebLines, SetupPlacesTheTransmitterWhereThePipelineDoes) {
    const std::vector<OptionLine> options = {{1, "transmitteroffset", {"12", "24", "36", "inches"}},
                                             {2, "TransmitterRotation", {"0", "1", "0", "90"}},
                                             {3, "cavecoord", {"off"}}};
    const std::string line = webSetupLine("lab \"A\"", options);
    EXPECT_EQ(0u, line.find("{\"type\":\"setup\",\"device\":\"lab \\\"A\\\"\",\"cave\":false,\"transmitter\":"));
    double shown[12];
    ASSERT_EQ(12, std::sscanf(line.c_str() + line.find("\"position\""),
                              "\"position\":[%lf,%lf,%lf],\"axes\":[[%lf,%lf,%lf],[%lf,%lf,%lf],[%lf,%lf,%lf]]", &shown[0],
                              &shown[1], &shown[2], &shown[3], &shown[4], &shown[5], &shown[6], &shown[7], &shown[8],
                              &shown[9], &shown[10], &shown[11]))
        << line;

    // The pipeline maps the origin to the transmitter's position and each
    // unit axis to the transmitter's axis plus that position.
    const Matrix4 transmitter = composeTransform(axisAngleMatrix(0, 1, 0, 90), offsetMatrix(1, 2, 3));
    const Matrix4 noSensor = identityMatrix();
    for (int point = 0; point < 4; ++point) {
        float pose[6] = {float(point == 1), float(point == 2), float(point == 3), 0, 0, 0};
        transformPose(pose, &transmitter, &noSensor, nullptr);
        for (int i = 0; i < 3; ++i) {
            const double expected = point == 0 ? pose[i] : pose[i] - shown[i];
            EXPECT_NEAR(expected, shown[3 * point + i], 1e-6) << "point " << point << ", value " << i;
        }
    }
}
