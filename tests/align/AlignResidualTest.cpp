// The residual the room's fit reports for twelve points held in front of a
// misplaced transmitter: what the simulator's noise implies for points each
// averaged over a still second.
#include "is900/hostkit/Alignment.h"
#include "sim/Motion.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace is900::hostkit;

const double rate = 120, noiseMm = 1.5, centimetresPerFoot = 30.48;

// Twelve room points (centimetres) spread over 2 m, the sensor held at
// elevations up to 80 degrees either way.
std::vector<is900sim::RoomPose> roomPoints() {
    std::vector<is900sim::RoomPose> points;
    for (int k = 0; k < 12; ++k) {
        is900sim::RoomPose pose;
        const double position[3] = {50.0 * (k % 4), 60.0 * ((k / 4) % 3), 40.0 * (k % 3) + 10 * k};
        const double angles[3] = {30.0 * k - 170, 160.0 * k / 11 - 80, 15.0 * k};
        for (int a = 0; a < 3; ++a) {
            pose.position[a] = position[a];
            pose.angles[a] = angles[a];
        }
        points.push_back(pose);
    }
    return points;
}

} // namespace

TEST(AlignResidual, TwelvePointsReportTheResidualTheNoiseImplies) {
    const std::vector<is900sim::RoomPose> points = roomPoints();
    is900sim::TransmitterPlacement transmitter{{250, -120, 90}, {0.2, 1, -0.4}, 150};
    double squares = 0;
    const int seeds = 10;
    for (int seed = 1; seed <= seeds; ++seed) {
        is900sim::StationMotion motion({2, is900sim::StationKind::wand}, static_cast<uint32_t>(seed),
                                       is900sim::SensorNoise{noiseMm, 0}, std::nullopt,
                                       is900sim::ScriptedMotion{2, is900sim::MotionScript::holds, points}, transmitter);
        std::vector<Pose> recent;
        std::vector<Position> measured, room;
        bool down = false;
        for (long cycle = 0; measured.size() < points.size(); ++cycle) {
            const is900sim::Sample sample = motion.next(cycle / rate);
            recent.push_back({float(sample.position[0] / centimetresPerFoot), float(sample.position[1] / centimetresPerFoot),
                              float(sample.position[2] / centimetresPerFoot), sample.angles[0], sample.angles[1],
                              sample.angles[2]});
            if (recent.size() > rate) recent.erase(recent.begin());
            if (sample.buttons && !down) {
                const is900sim::RoomPose& point = points[measured.size()];
                measured.push_back(heldPosition(recent));
                room.push_back({point.position[0] / centimetresPerFoot, point.position[1] / centimetresPerFoot,
                                point.position[2] / centimetresPerFoot});
            }
            down = sample.buttons != 0;
        }
        const RigidFit fit = fitRigid(measured, room);
        EXPECT_LT(fit.rmsMm, 0.5) << seed;
        squares += fit.rmsMm * fit.rmsMm / seeds;
    }
    // Each point's mean has the noise over the square root of a second's
    // samples per axis; 6 of the 36 coordinates go into the fit.
    const double implied = noiseMm / std::sqrt(rate) * std::sqrt((3.0 * 12 - 6) / 12);
    EXPECT_NEAR(std::sqrt(squares), implied, 0.2 * implied);
}
