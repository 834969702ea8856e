// The kit's tracking-quality figures from synthetic records fed with their
// arrival times: a still wand with noise of known size and a gap, a moving
// station, a controller-only station, the device's history and its quality
// line read back.
#include "is900/hostkit/Quality.h"
#include "rules/OptionWords.h"
#include "rules/Rotation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace is900::hostkit;

namespace {

const double rate = 120;
const double start = 100;      // the first record's time
const double gapStart = 105;   // station 1 sends nothing from here
const double gapLength = 2;
const double positionSigmaMm = 1.5;
const double angleSigmaDeg = 0.05;

RecordView record(RecordKind kind, int station) {
    RecordView view;
    view.kind = kind;
    view.device = "desk";
    view.station = station;
    return view;
}

// A fixed pose in feet and degrees, with Gaussian noise per position axis and
// per axis of a rotation vector turning the orientation. Facing back and
// rolled a quarter turn, it is turned half a circle: its quaternions change
// sign with the noise.
void noisyPose(std::mt19937& random, float pose[6]) {
    std::normal_distribution<double> position(0, positionSigmaMm / 1000 / optionwords::metresPerFoot);
    std::normal_distribution<double> angle(0, angleSigmaDeg * rotation::degreesToRadians);
    const double fixed[6] = {1.0, -2.0, 3.0, 180.0, 0.0, -90.0};
    for (int i = 0; i < 3; ++i) pose[i] = static_cast<float>(fixed[i] + position(random));
    double m[3][3];
    rotation::orientationMatrix(fixed[3], fixed[4], fixed[5], m);
    const double v[3] = {angle(random), angle(random), angle(random)};
    const double theta = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    const double k[3] = {v[0] / theta, v[1] / theta, v[2] / theta};
    const double c = std::cos(theta), s = std::sin(theta);
    const double cross[3][3] = {{0, -k[2], k[1]}, {k[2], 0, -k[0]}, {-k[1], k[0], 0}};
    double turned[3][3] = {};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const double turn = c * (i == j) + s * cross[i][j] + (1 - c) * k[i] * k[j]; // Rodrigues
            for (int n = 0; n < 3; ++n) turned[i][n] += turn * m[j][n];
        }
    // The rotation rule undone: m[2] = (sa ce, -se, ca ce), m[0][1] = ce sr, m[1][1] = ce cr.
    pose[3] = static_cast<float>(std::atan2(turned[2][0], turned[2][2]) * rotation::radiansToDegrees);
    pose[4] = static_cast<float>(-std::asin(turned[2][1]) * rotation::radiansToDegrees);
    pose[5] = static_cast<float>(std::atan2(turned[0][1], turned[1][1]) * rotation::radiansToDegrees);
}

} // namespace

TEST(Quality, FiguresOfStillMovingAndSilentStationsAndTheirLine) {
    for (unsigned seed = 1; seed <= 5; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        QualityMonitor monitor;
        monitor.noteState("desk", "starting", start - 1);
        monitor.noteSetUp("desk", start - 1);
        monitor.noteState("desk", "streaming", start);
        const int count = static_cast<int>(22 * rate);
        for (int i = 0; i <= count; ++i) {
            const double time = start + i / rate;
            if (time < gapStart || time >= gapStart + gapLength) {
                RecordView wand = record(RecordKind::tracker, 1);
                noisyPose(random, wand.pose);
                monitor.addRecord(wand, time);
            }
            // The wand's buttons carry on through its tracker's gap.
            monitor.addRecord(record(RecordKind::controller, 1), time);
            RecordView moving = record(RecordKind::tracker, 2);
            moving.pose[0] = static_cast<float>(std::cos(time));
            moving.pose[1] = static_cast<float>(std::sin(time));
            monitor.addRecord(moving, time);
            if (i % 2 == 0) monitor.addRecord(record(RecordKind::controller, 3), time);
        }
        const double end = start + count / rate;
        monitor.noteState("desk", "silent", end + 1);
        monitor.noteSetUp("desk", end + 2);

        const std::vector<DeviceQuality> devices = monitor.snapshot(end);
        ASSERT_EQ(devices.size(), 1u);
        const DeviceQuality& desk = devices[0];
        ASSERT_EQ(desk.stations.size(), 3u);
        const StationQuality& still = desk.stations[0];
        EXPECT_NEAR(*still.rate, rate, rate * 0.02);
        EXPECT_NEAR(desk.stations[2].rate.value(), rate / 2, rate / 2 * 0.02);
        ASSERT_TRUE(still.moving.has_value());
        EXPECT_FALSE(*still.moving);
        EXPECT_NEAR(still.positionNoiseMm.value(), positionSigmaMm * std::sqrt(3), positionSigmaMm * std::sqrt(3) * 0.1);
        EXPECT_NEAR(still.orientationNoiseDeg.value(), angleSigmaDeg * std::sqrt(3), angleSigmaDeg * std::sqrt(3) * 0.1);

        ASSERT_EQ(still.gaps.size(), 1u);
        EXPECT_EQ(still.gapCount, 1u);
        EXPECT_NEAR(still.gaps[0].start, gapStart, 2 / rate);
        EXPECT_NEAR(still.gaps[0].length, gapLength, 2 / rate);
        EXPECT_FALSE(still.gaps[0].ongoing);
        EXPECT_DOUBLE_EQ(still.longestGap, still.gaps[0].length);
        EXPECT_TRUE(desk.stations[1].moving.value_or(false));
        EXPECT_FALSE(desk.stations[1].positionNoiseMm.has_value());
        EXPECT_FALSE(desk.stations[2].moving.has_value());

        // A second later every station is in a gap that is still going on.
        const DeviceQuality later = monitor.snapshot(end + 1)[0];
        EXPECT_EQ(later.stations[0].gapCount, 2u);
        EXPECT_NEAR(later.stations[0].ongoingGap.value(), 1, 1e-9);
        EXPECT_TRUE(later.stations[0].gaps.back().ongoing);
        EXPECT_NEAR(later.stations[0].rate.value(), rate * 0.9, rate * 0.02);

        // The history: every change, and the set-up repeated after the silence.
        const DeviceQuality history = monitor.snapshot(end + 2)[0];
        ASSERT_EQ(history.states.size(), 3u);
        EXPECT_EQ(history.states[1].state, "streaming");
        EXPECT_EQ(history.states[2].time, end + 1);
        ASSERT_EQ(history.setUps.size(), 2u);
        EXPECT_FALSE(history.setUps[0].repeated || history.setUps[0].sinceRecord.has_value());
        EXPECT_TRUE(history.setUps[1].repeated);
        EXPECT_NEAR(history.setUps[1].sinceRecord.value(), 2, 1e-9);
        // Ten minutes on, only the state it is still in.
        const DeviceQuality bounded = monitor.snapshot(end + 700)[0];
        ASSERT_EQ(bounded.states.size(), 1u);
        EXPECT_EQ(bounded.states[0].state, "silent");
        EXPECT_TRUE(bounded.setUps.empty() && bounded.stations[0].gaps.size() == 1);

        const std::string line = qualityJsonLine(desk);
        EXPECT_EQ(line.rfind("{\"type\":\"quality\",\"device\":\"desk\",\"time\":", 0), 0u);
        const JsonLine read = readJsonLine(line);
        ASSERT_EQ(read.type, LineType::quality);
        EXPECT_EQ(qualityJsonLine(read.quality), line);
    }
}

// Records held up on their way (a busy host) and then handed over at once
// were late, not missing: no gap; the same pause with none caught up is one.
TEST(Quality, RecordsCaughtUpAfterAPauseMakeNoGap) {
    for (const bool caughtUp : {true, false}) {
        QualityMonitor monitor;
        int sent = 0;
        for (int i = 0; i < 600; ++i) {
            const double time = start + i / rate;
            const bool heldUp = i >= 300 && i < 312;
            if (heldUp && !caughtUp) continue;
            monitor.addRecord(record(RecordKind::tracker, 1), heldUp ? start + 312 / rate : time);
            ++sent;
        }
        const StationQuality station = monitor.snapshot(start + 600 / rate)[0].stations[0];
        EXPECT_EQ(station.records, static_cast<uint64_t>(sent));
        EXPECT_EQ(station.gapCount, caughtUp ? 0u : 1u) << (caughtUp ? "caught up" : "missing");
    }
}
