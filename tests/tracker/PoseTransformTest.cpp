#include "TrackerTestSupport.h"

#include "tracker/CTraCommonH.h"
#include "tracker/PoseTransform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace {

const CLogH quietLog = plainLogger();

// Each value within about one part in a million of the larger of the
// expected value and 1.
MATCHER_P(PoseClose, expected, "is a pose close to the expected one") {
    for (int i = 0; i < 6; ++i) {
        const float scale = std::fabs(expected[i]) > 1 ? std::fabs(expected[i]) : 1.0f;
        if (std::fabs(expected[i] - arg[i]) > 2e-6f * scale) {
            *result_listener << "value " << i << " is " << arg[i] << ", not " << expected[i];
            return false;
        }
    }
    return true;
}

using Pose = std::array<float, 6>;

struct Pipeline {
    Pipeline() : tracker(&quietLog) {
        tracker.createLookup(8);
        tracker.setStation(1, 1);
        tracker.setStation(2, 2);
    }
    // The pose as the pipeline publishes it, read in inches at a station.
    Pose process(int32_t station, Pose pose) {
        tracker.processPose(station, 'U', pose.data());
        return pose;
    }
    CTraCommonH tracker;
};

} // namespace

TEST(Matrices, BuildersAndComposition) {
    const Matrix4 turn = axisAngleMatrix(0, 0, 2, 90); // the axis is normalised
    const float rows[9] = {0, 1, 0, -1, 0, 0, 0, 0, 1};
    const Matrix4 expected = rowsMatrix(rows);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(expected[i], turn[i], 1e-6f) << i;

    const Matrix4 noAxis = axisAngleMatrix(0, 0, 0, 90);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(i % 5 == 0 && i < 15 ? 1.0f : 0.0f, noAxis[i]) << i;

    const Matrix4 transform = composeTransform(turn, offsetMatrix(1, 2, 3));
    EXPECT_EQ(1.0f, transform[12]);
    EXPECT_EQ(2.0f, transform[13]);
    EXPECT_EQ(3.0f, transform[14]);
    EXPECT_EQ(1.0f, transform[15]);
    EXPECT_EQ(turn[4], transform[4]);
}

TEST(PosePipeline, UnitsAndCaveMapping) {
    float pose[6] = {12, 24, 36, 10, 20, 30};
    convertToFeet(pose, 'U', true);
    EXPECT_THAT(pose, PoseClose(Pose{2, -3, -1, -10, 20, -30})) << "inches, CAVE";

    float metric[6] = {100, 0, 0, 1, 2, 3};
    convertToFeet(metric, 'u', false);
    EXPECT_THAT(metric, PoseClose(Pose{3.28084f, 0, 0, 1, 2, 3})) << "centimetres";

    // No correction set: the pose leaves the pipeline as step 1 made it.
    Pipeline p;
    float plain[6] = {12, 24, 36, 10, 20, 30};
    EXPECT_TRUE(p.tracker.processPose(1, 'U', plain));
    EXPECT_THAT(plain, PoseClose(Pose{1, 2, 3, 10, 20, 30})) << "no corrections";
}

TEST(PosePipeline, TransmitterCorrections) {
    Pipeline p;
    p.tracker.transmitterRotation = axisAngleMatrix(0, 0, 1, 90);
    p.tracker.transmitterTransform = composeTransform(p.tracker.transmitterRotation, p.tracker.transmitterOffset);
    p.tracker.transmitterRotationSet = true;
    EXPECT_THAT(p.process(1, {12, 0, 0, 0, 0, 0}), PoseClose(Pose{0, 1, 0, 0, 0, 90})) << "rotation about z";

    Pipeline shifted;
    shifted.tracker.transmitterOffset = offsetMatrix(1, 2, 3);
    shifted.tracker.transmitterTransform = composeTransform(identityMatrix(), shifted.tracker.transmitterOffset);
    shifted.tracker.transmitterOffsetSet = true;
    EXPECT_THAT(shifted.process(2, {12, 24, 36, 10, 20, 30}), PoseClose(Pose{2, 4, 6, 10, 20, 30})) << "offset only";
    EXPECT_THAT(shifted.process(9, {12, 24, 36, 10, 20, 30}), PoseClose(Pose{2, 4, 6, 10, 20, 30}))
        << "station without entry";

    // Rotations about the axis of an angle add to it: azimuth turns about y.
    float yawed[6] = {0, 0, 0, 10, 0, 0};
    const Matrix4 aboutY = composeTransform(axisAngleMatrix(0, 1, 0, 30), zeroMatrix());
    const Matrix4 none = identityMatrix();
    transformPose(yawed, &aboutY, &none, nullptr);
    EXPECT_THAT(yawed, PoseClose(Pose{0, 0, 0, 40, 0, 0})) << "azimuth plus transmitter yaw";
}

TEST(PosePipeline, SensorCorrections) {
    Pipeline p;
    const Matrix4 offset = offsetMatrix(0, 0, 1);
    p.tracker.setStation(1, 1, &offset);
    EXPECT_THAT(p.process(1, {0, 0, 0, 0, 0, 0}), PoseClose(Pose{0, 0, 1, 0, 0, 0})) << "offset, angles 0";
    EXPECT_THAT(p.process(1, {0, 0, 0, 90, 0, 0}), PoseClose(Pose{1, 0, 0, 90, 0, 0})) << "offset, azimuth 90";
    EXPECT_THAT(p.process(2, {0, 0, 0, 90, 0, 0}), PoseClose(Pose{0, 0, 0, 90, 0, 0})) << "station 2 has no correction";

    const float translation[3] = {0.5f, 0, 0};
    p.tracker.setStation(1, 1, nullptr, nullptr, translation);
    EXPECT_THAT(p.process(1, {12, 24, 36, 10, 20, 30}), PoseClose(Pose{1.5f, 2, 3, 10, 20, 30})) << "translation only";

    // The sensor's rotation acts before the measured orientation: a sensor
    // turned 90 degrees about z, measured at azimuth 90, reads (90, 0, 90).
    const Matrix4 rollSensor = axisAngleMatrix(0, 0, 1, 90);
    p.tracker.setStation(1, 1, nullptr, &rollSensor);
    EXPECT_THAT(p.process(1, {0, 0, 0, 90, 0, 0}), PoseClose(Pose{0, 0, 0, 90, 0, 90})) << "order of the rotations";

    // The sensor offset turns with the corrected orientation.
    const Matrix4 pitchSensor = axisAngleMatrix(1, 0, 0, 45);
    p.tracker.setStation(1, 1, &offset, &pitchSensor);
    float pitched[6] = {0, 0, 0, 0, 0, 0};
    p.tracker.processPose(1, 'U', pitched);
    const float half = 0.70710678f;
    EXPECT_THAT(pitched, PoseClose(Pose{0, -half, half, 0, 45, 0})) << "offset with a pitched sensor";
}
