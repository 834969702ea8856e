// The room's rigid fit and the pivot, on points and poses made from a known
// transform and tip with a tracker's noise.
#include "is900/hostkit/Alignment.h"

#include "rules/Quaternion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>

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
        // The residual of 12 averaged points: sqrt((3 * 12 - 6) / 12) of the per-axis noise.
        const double expected = 1.5 / std::sqrt(120.0) * std::sqrt((3.0 * 12 - 6) / 12);
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

    DeviceSetup setup; // stations 1 and 2 on
    setup.sensors[1].translationSet = true;
    EXPECT_EQ(unalignableStation(setup, 1), "");
    EXPECT_EQ(unalignableStation(setup, 2), "station 2 has a sensortranslation, which is added after every correction; "
                                            "remove it to align with this station");
    EXPECT_EQ(unalignableStation(setup, 3), "station 3 is not a tracker station the device publishes");
}

// The lines, read back as the device reads option lines.
Placement readBack(const std::vector<std::string>& lines) {
    std::vector<OptionLine> options;
    for (const std::string& text : lines) {
        std::istringstream words(text);
        OptionLine line;
        line.lineNumber = static_cast<uint32_t>(options.size() + 1);
        words >> line.keyword;
        for (std::string word; words >> word;) line.args.push_back(word);
        options.push_back(line);
    }
    return readDeviceSetup(options).transmitter;
}

// A device with a correction already (a rotation given as a matrix or an
// axis, an offset or none) publishes poses that carry it; the fit from
// them, composed with it, must give the lines of the room's own transform:
// also for turns of nearly nothing and of nearly half a turn.
TEST(Alignment, LinesComposedWithTheCurrentCorrectionReadBackAsTheRoomsTransform) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> angle(-180, 180), elevation(-89, 89), offset(-9.8, 9.8);
    const double turns[][3] = {{0, 0, 0}, {180, 0, 0}, {179.9999, 0.0001, 0}, {0, 0, 180}, {0.0001, 0, 0}};
    for (int trial = 0; trial < 25; ++trial) {
        double current[3][3], room[3][3];
        rotation::orientationMatrix(angle(random), elevation(random), angle(random), current);
        if (trial < 5) rotation::orientationMatrix(turns[trial][0], turns[trial][1], turns[trial][2], room);
        else rotation::orientationMatrix(angle(random), elevation(random), angle(random), room);
        Placement now;
        now.rotationSet = trial % 3 != 0;
        now.offsetSet = trial % 2 == 0;
        for (int i = 0; i < 9; ++i) now.rotation[i] = now.rotationSet ? static_cast<float>(current[i / 3][i % 3]) : (i % 4 == 0);
        for (float& value : now.offset) value = now.offsetSet ? static_cast<float>(offset(random)) : 0;
        double used[3][3];
        for (int i = 0; i < 9; ++i) used[i / 3][i % 3] = now.rotation[i];
        const Position roomOffset{offset(random), offset(random), offset(random)};
        std::vector<Position> published, inRoom;
        for (const Position& p : std::vector<Position>{{0, 0, 0}, {3, 0, 0}, {0, 3, 0}, {0, 0, 3}, {1, 2, 3}}) {
            published.push_back(place(p, used, {now.offset[0], now.offset[1], now.offset[2]}));
            inRoom.push_back(place(p, room, roomOffset));
        }
        const std::vector<std::string> lines = transmitterLines(composeTransmitter(now, fitRigid(published, inRoom)));
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].substr(0, 18), "transmitteroffset ");
        EXPECT_EQ(lines[0].find("-0 "), std::string::npos) << lines[0];
        const Placement read = readBack(lines);
        for (int i = 0; i < 9; ++i) EXPECT_NEAR(read.rotation[i], room[i / 3][i % 3], 2e-6) << trial << ": " << lines[1];
        for (int a = 0; a < 3; ++a) EXPECT_NEAR(read.offset[a], roomOffset[a], 2e-5) << trial << ": " << lines[0];
    }
}

// A point is refused when the sensor moved 15 mm at any moment of its
// second, and taken through a still sensor's noise.
TEST(Alignment, AHeldPointIsRefusedWhenTheSensorMovedAtAnyMoment) {
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0, 1.5 / mmPerFoot);
    std::vector<Pose> still;
    for (int k = 0; k < 120; ++k)
        still.push_back({static_cast<float>(1 + noise(random)), static_cast<float>(2 + noise(random)),
                         static_cast<float>(3 + noise(random)), 10, 20, 30});
    const Position held = heldPosition(still);
    EXPECT_NEAR(held[0], 1, 0.5 / mmPerFoot);
    for (std::size_t moment = 1; moment < still.size(); ++moment) {
        std::vector<Pose> moved = still;
        for (std::size_t k = moment; k < moved.size(); ++k) moved[k][2] += static_cast<float>(15 / mmPerFoot);
        try {
            heldPosition(moved);
            ADD_FAILURE() << "moved at pose " << moment;
        } catch (const AlignmentError& error) {
            EXPECT_EQ(std::string(error.what()).find("the sensor moved while the point was taken ("), 0u);
        }
    }
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
