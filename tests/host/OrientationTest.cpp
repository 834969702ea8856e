// The orientation the host publishes: the pipeline's matrix and its quaternion.
#include "host/view/Orientation.h"
#include "host/outputs/web/WebLines.h"
#include "tracker/Matrix4.h"
#include "tracker/PoseTransform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace {

// v . R for the row vector v.
void turnRow(const double v[3], const double m[3][3], double out[3]) {
    for (int j = 0; j < 3; ++j) out[j] = v[0] * m[0][j] + v[1] * m[1][j] + v[2] * m[2][j];
}

// q v q* for the vector v.
void turnByQuaternion(const Quaternion& q, const double v[3], double out[3]) {
    const double u[3] = {q.x, q.y, q.z};
    const double t[3] = {2 * (u[1] * v[2] - u[2] * v[1]), 2 * (u[2] * v[0] - u[0] * v[2]), 2 * (u[0] * v[1] - u[1] * v[0])};
    out[0] = v[0] + q.w * t[0] + (u[1] * t[2] - u[2] * t[1]);
    out[1] = v[1] + q.w * t[1] + (u[2] * t[0] - u[0] * t[2]);
    out[2] = v[2] + q.w * t[2] + (u[0] * t[1] - u[1] * t[0]);
}

} // namespace

TEST(Orientation, AzimuthNinetyTurnsAboutYAndXGoesToMinusZ) {
    const Quaternion q = orientationQuaternion(90, 0, 0);
    const double half = std::sqrt(0.5);
    EXPECT_NEAR(q.x, 0, 1e-7);
    EXPECT_NEAR(q.y, half, 1e-7);
    EXPECT_NEAR(q.z, 0, 1e-7);
    EXPECT_NEAR(q.w, half, 1e-7);
    const double x[3] = {1, 0, 0};
    double turned[3];
    turnByQuaternion(q, x, turned);
    EXPECT_NEAR(turned[2], -1, 1e-7);
}

// Across the whole range, also where the trace of the matrix is negative:
// the quaternion turns every vector as the row-vector matrix does, and the
// matrix is the pipeline's own (its product with the transpose, put through
// the pipeline's rotation step, leaves no angle).
TEST(Orientation, QuaternionTurnsLikeThePipelinesMatrix) {
    for (double azimuth = -180; azimuth <= 180; azimuth += 30)
        for (double elevation = -85; elevation <= 85; elevation += 34)
            for (double roll = -180; roll <= 180; roll += 45) {
                double m[3][3];
                orientationMatrix(azimuth, elevation, roll, m);
                const Quaternion q = quaternionOf(m);
                EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1, 1e-12);
                EXPECT_GE(q.w, 0);
                const double vectors[4][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.3, -0.5, 0.8}};
                for (const auto& v : vectors) {
                    double byMatrix[3], byQuaternion[3];
                    turnRow(v, m, byMatrix);
                    turnByQuaternion(q, v, byQuaternion);
                    for (int j = 0; j < 3; ++j) EXPECT_NEAR(byQuaternion[j], byMatrix[j], 1e-12);
                }

                Matrix4 inverse = identityMatrix();
                for (int r = 0; r < 3; ++r)
                    for (int c = 0; c < 3; ++c) inverse[4 * r + c] = static_cast<float>(m[c][r]);
                const Matrix4 none = identityMatrix();
                float pose[6] = {0, 0, 0, static_cast<float>(azimuth), static_cast<float>(elevation),
                                 static_cast<float>(roll)};
                rotatePose(pose, &inverse, &none);
                for (int angle = 3; angle < 6; ++angle)
                    EXPECT_NEAR(pose[angle], 0, 2e-3) << azimuth << " " << elevation << " " << roll;
            }
}

TEST(WebLines, ATrackerLineIsItsJsonLineWithTheQuaternionLast) {
    const RecordView tracker{RecordKind::tracker, "desk", 2, 3, 1733600000.5, {0, 0, 0, 90, 0, 0}, {}, {}};
    EXPECT_EQ(webRecordLine(PublishedRecord{"desk", tracker, {}, {}}),
              "{\"type\":\"tracker\",\"id\":2,\"station\":3,\"time\":1733600000.500,"
              "\"x\":0.00000,\"y\":0.00000,\"z\":0.00000,\"azim\":90.00000,\"elev\":0.00000,"
              "\"roll\":0.00000,\"device\":\"desk\",\"quat\":[0,0.707107,0,0.707107]}");
    // A processed pose takes the device's place, which follows as "raw".
    const ProcessedPose processed{{1, 2, 3, 0, 0, 0}, 1733600000.52, "predict 20 ms"};
    EXPECT_EQ(webRecordLine(PublishedRecord{"desk", tracker, {}, processed}),
              "{\"type\":\"tracker\",\"id\":2,\"station\":3,\"time\":1733600000.500,"
              "\"x\":1.00000,\"y\":2.00000,\"z\":3.00000,\"azim\":0.00000,\"elev\":0.00000,"
              "\"roll\":0.00000,\"device\":\"desk\",\"processing\":\"predict 20 ms\",\"standsFor\":1733600000.520,"
              "\"raw\":{\"x\":0.00000,\"y\":0.00000,\"z\":0.00000,\"azim\":90.00000,\"elev\":0.00000,\"roll\":0.00000},"
              "\"quat\":[0,0,0,1]}");
    RecordView wand;
    wand.kind = RecordKind::controller;
    wand.device = "desk";
    wand.buttons = {true};
    EXPECT_EQ(webRecordLine(PublishedRecord{"desk", wand, {}, {}}), jsonLine(wand)) << "a controller line has nothing added";
}

TEST(WebLines, SetupPlacesTheTransmitterWhereThePipelineDoes) {
    const std::vector<is900::hostkit::OptionLine> options = {{1, "transmitteroffset", {"12", "24", "36", "inches"}},
                                             {2, "TransmitterRotation", {"0", "1", "0", "90"}},
                                             {3, "cavecoord", {"off"}}};
    const std::string line = webSetupLine("lab \"A\"", is900::hostkit::readDeviceSetup(options));
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
