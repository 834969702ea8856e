// The room's rigid fit and the pivot, on points and poses made from a known
// transform and tip with a tracker's noise.
#include "is900/hostkit/Alignment.h"

#include "rules/Quaternion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using namespace is900::hostkit;

const double mmPerFoot = 304.8;

// p . R + t with R from azimuth, elevation and roll.
Position place(const Position& p, const double r[3][3], const Position& t) {
    Position out;
    for (int b = 0; b < 3; ++b) out[b] = p[0] * r[0][b] + p[1] * r[1][b] + p[2] * r[2][b] + t[b];
    return out;
}

std::string refusal(const std::vector<Position>& measured, const std::vector<Position>& room) {
    try {
        fitRigid(measured, room);
    } catch (const AlignmentError& error) {
        return error.what();
    }
    return "";
}

TEST(Alignment, TwelvePointsGiveTheTransformBackThroughATrackersNoise) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> angle(-180, 180), elevation(-80, 80), offset(-9.8, 9.8), spot(-6, 6);
    std::normal_distribution<double> noise(0, 1.5 / mmPerFoot / std::sqrt(120.0)); // averaged over a still second
    for (int trial = 0; trial < 20; ++trial) {
        double r[3][3];
        rotation::orientationMatrix(angle(random), elevation(random), angle(random), r);
        const Position t{offset(random), offset(random), offset(random)};
        std::vector<Position> measured, room;
        for (int k = 0; k < 12; ++k) {
            const Position p{spot(random), spot(random) / 2 + 3, spot(random)};
            Position seen = p;
            for (double& c : seen) c += noise(random);
            measured.push_back(seen);
            room.push_back(place(p, r, t));
        }
        const RigidFit fit = fitRigid(measured, room);
        for (int a = 0; a < 3; ++a) {
            EXPECT_NEAR(fit.translation[a], t[a], 2 / mmPerFoot) << trial;
            for (int b = 0; b < 3; ++b) EXPECT_NEAR(fit.rotation[a][b], r[a][b], 0.2 / rotation::degreesPerRadian) << trial;
        }
        // The residual of 12 averaged points: sqrt(3 * (12 - 6) / 12) of the per-axis noise.
        const double expected = 1.5 / std::sqrt(120.0) * std::sqrt(3.0 * 6 / 12);
        EXPECT_NEAR(fit.rmsMm, expected, 0.5 * expected) << trial;
    }
}

TEST(Alignment, RefusesPointsItCannotFitWithTheReason) {
    const std::vector<Position> line = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    const std::vector<Position> close = {{0, 0, 0}, {0.01, 0, 0}, {0, 0.01, 0}};
    const std::vector<Position> corner = {{0, 0, 0}, {3, 0, 0}, {0, 3, 0}, {0, 0, 3}};
    std::vector<Position> mirrored = corner;
    for (Position& p : mirrored) p[0] = -p[0];
    EXPECT_EQ(refusal(line, line), "the measured points are collinear (take one off their line)");
    EXPECT_EQ(refusal(close, close), "the measured points are too close together (spread them at least 10 cm)");
    EXPECT_EQ(refusal(corner, mirrored),
              "the room's coordinates are left-handed (a mirror image of the tracker's); check the sign of one axis");
    EXPECT_EQ(refusal({corner[0], corner[1]}, {corner[0], corner[1]}),
              "at least three points are needed, each with its room coordinates");
    EXPECT_EQ(refusal(corner, corner), "");
}

TEST(Pivot, ASwivelAboutTheTipFindsItThroughATrackersNoise) {
    std::mt19937 random(3);
    std::uniform_real_distribution<double> swing(-30, 30), tipPart(-0.6, 0.6);
    std::normal_distribution<double> noise(0, 1.5 / mmPerFoot);
    for (int trial = 0; trial < 10; ++trial) {
        const Position tip{tipPart(random) * 0.8, tipPart(random) * 0.8, tipPart(random) * 0.8}; // up to 30 cm
        const Position pivot{1, 2, 3};
        std::vector<std::array<float, 6>> poses;
        for (int k = 0; k < 360; ++k) { // three seconds at 120 Hz
            const float angles[3] = {static_cast<float>(swing(random)), static_cast<float>(swing(random)),
                                     static_cast<float>(swing(random))};
            double r[3][3];
            rotation::orientationMatrix(angles[0], angles[1], angles[2], r);
            const Position at = place(tip, r, {0, 0, 0});
            std::array<float, 6> pose;
            for (int a = 0; a < 3; ++a) pose[a] = static_cast<float>(pivot[a] - at[a] + noise(random));
            for (int a = 0; a < 3; ++a) pose[3 + a] = angles[a];
            poses.push_back(pose);
        }
        const PivotFit fit = fitPivot(poses);
        for (int a = 0; a < 3; ++a) {
            EXPECT_NEAR(fit.tip[a], tip[a], 1.5 / mmPerFoot) << trial;
            EXPECT_NEAR(fit.pivot[a], pivot[a], 1.5 / mmPerFoot) << trial;
        }
        EXPECT_NEAR(fit.rmsMm, 1.5 * std::sqrt(3.0), 0.3) << trial;
    }
    std::vector<std::array<float, 6>> still(100, std::array<float, 6>{1, 2, 3, 10, 5, 1});
    still[50][3] = 15; // five degrees
    try {
        fitPivot(still);
        ADD_FAILURE() << "a wand that hardly turned";
    } catch (const AlignmentError& error) {
        EXPECT_STREQ(error.what(), "the wand swivelled too little about its tip (at least 20 degrees)");
    }
}

} // namespace
