#include "DeviceRig.h"

#include "common/CoutCapture.h"
#include "storage/FixedPoint.h"

#include <gtest/gtest.h>

#include <cmath>

// The example library doubles every position and adds 1, 2, 3 feet; angles pass unchanged.
TEST(DeviceCalibration, TheLibraryCorrectsEveryPublishedPose) {
    DeviceRig rig({{1, is900sim::StationKind::tracker}});
    rig.lines.add("sensors", {"1"}).add("cavecoord", {"off"}).add("calibration", {CALIB_OFFSET_FILE, "2", "1", "2", "3"});
    CoutCapture quiet;
    ASSERT_EQ(rig.init(), 1);
    ASSERT_EQ(rig.device()->configure(), 2);
    ASSERT_TRUE(rig.receiveUntil({1}, {}, 5000));
    const TraData& published = rig.publishedTrackers[1].back();
    const float offset[3] = {1, 2, 3};
    EXPECT_TRUE(positionFromASentRecord(published, rig.simulator().sentRecords(1), 2, offset));
    bool anglesUnchanged = false;
    for (const auto& sent : rig.simulator().sentRecords(1)) {
        const TraData plain = expectedTraData(sent, false, false);
        anglesUnchanged = anglesUnchanged || (plain.azim == published.azim &&
                                              plain.elev == published.elev && plain.roll == published.roll);
    }
    EXPECT_TRUE(anglesUnchanged);
    EXPECT_TRUE(rig.device()->stop()) << "the library's exit succeeds";
}

TEST(DeviceCalibration, ALibraryWithoutEvaluateEndsReception) {
    DeviceRig rig({{1, is900sim::StationKind::tracker}});
    rig.lines.add("sensors", {"1"}).add("cavecoord", {"off"}).add("calibration", {CALIB_NO_EVALUATE_FILE});
    CoutCapture quiet;
    ASSERT_EQ(rig.init(), 1);
    ASSERT_EQ(rig.device()->configure(), 2);
    int result = 1;
    for (int call = 0; call < 50 && result == 1; ++call) result = rig.receive();
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(rig.publishedTrackers[1].empty());
    rig.device()->stop();
}

TEST(DeviceCalibration, AMissingLibraryFailsInit) {
    DeviceRig rig({{1, is900sim::StationKind::tracker}});
    rig.lines.add("calibration", {"./no-such-calibration-library.so"});
    CoutCapture quiet;
    EXPECT_EQ(rig.init(), -1);
}
