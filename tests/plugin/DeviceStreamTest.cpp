#include "DeviceRig.h"

#include "common/CoutCapture.h"
#include "storage/FixedPoint.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>

using is900sim::StationKind;

namespace {

std::vector<std::string> alignmentCommands(const char* axes) {
    std::vector<std::string> commands;
    for (int n = 1; n <= 8; ++n) commands.push_back("R" + std::to_string(n));
    for (int n = 1; n <= 8; ++n) commands.push_back("A" + std::to_string(n) + axes);
    return commands;
}

std::vector<std::string> outputLists(const std::vector<std::string>& perStation) {
    std::vector<std::string> commands;
    for (int n = 1; n <= 8; ++n) commands.push_back("O" + std::to_string(n) + perStation[n - 1]);
    return commands;
}

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const char* const setAxes = ",0,0,0,0,0,-200,200,0,0";
const char* const defaultAxes = ",0,0,0,200,0,0,0,200,0";

// True when the record is the encoding of one of the records the simulator sent for the station.
bool matchesASentRecord(const TraData& published, const std::vector<is900sim::SentRecord>& sent, bool cave) {
    for (const auto& record : sent)
        if (record.hasPosition && !record.crLfInside && samePose(published, expectedTraData(record, cave, false)))
            return true;
    return false;
}

} // namespace

TEST(DeviceStream, DefaultConfigurationStreamsCaveMappedTrackersAndWindsDown) {
    DeviceRig rig;
    ASSERT_TRUE(rig.device());
    {
        CoutCapture report;
        ASSERT_EQ(rig.init(), 1);
        EXPECT_NE(report.text().find("DEVICE TYPE           : IS900(tm)"), std::string::npos);
        EXPECT_NE(report.text().find("SERIAL PORT           : " + rig.simulator().slavePath()), std::string::npos);
    }
    EXPECT_EQ(rig.device()->configure(), 2);
    rig.simulator().waitForCommands(26, 2000);
    EXPECT_EQ(rig.simulator().commandLog(),
              concat(concat(alignmentCommands(setAxes), outputLists(std::vector<std::string>(8, ",2,4,1"))),
                     {"f", "C"}));
    EXPECT_TRUE(rig.device()->start());

    ASSERT_TRUE(rig.receiveUntil({1, 2}, {}, 5000));
    for (uint32_t id : {1u, 2u}) {
        const TraData& last = rig.publishedTrackers[id].back();
        EXPECT_EQ(fixedpoint::fromNetworkOrder(last.id), id);
        EXPECT_TRUE(matchesASentRecord(last, rig.simulator().sentRecords(static_cast<int>(id)), true))
            << "record " << id << " is the feet, CAVE-mapped encoding of a sent record";
    }
    EXPECT_EQ(rig.trackers.recordCount(), 2u);

    EXPECT_TRUE(rig.device()->stop());
    ASSERT_TRUE(rig.simulator().waitForCommands(26 + 17, 2000));
    const auto log = rig.simulator().commandLog();
    const std::vector<std::string> windDown(log.begin() + 26, log.end());
    EXPECT_EQ(windDown, concat({"c"}, alignmentCommands(defaultAxes)));
    EXPECT_FALSE(rig.simulator().continuousMode());
}

TEST(DeviceStream, TrackerAndControllerStationsFillBothStoragesAndMasks) {
    DeviceRig rig({{1, StationKind::tracker}, {2, StationKind::both}});
    rig.lines.add("controllers", {"0", "1"});
    ASSERT_EQ(rig.init(), 1);
    EXPECT_EQ(rig.device()->configure(), 1);
    ASSERT_TRUE(rig.simulator().waitForCommands(26, 2000)) << testing::PrintToString(rig.simulator().commandLog());
    const auto log = rig.simulator().commandLog();
    EXPECT_EQ(log[16], "O1,2,4,1");
    EXPECT_EQ(log[17], "O2,2,4,22,23,1");

    ASSERT_TRUE(rig.receiveUntil({1, 2}, {1}, 5000));
    const ConData& wand = rig.publishedControllers[1].back();
    EXPECT_EQ(wand.valuatorCount(), 2u);
    EXPECT_EQ(wand.buttonCount(), 8u);
    bool matched = false;
    for (const auto& sent : rig.simulator().sentRecords(2)) {
        bool same = sent.hasButtons && sent.hasPosition;
        for (uint32_t button = 1; button <= 8; ++button)
            same = same && wand.buttonPressed(button) == (((sent.buttons >> (button - 1)) & 1) != 0);
        for (int axis = 0; axis < 2; ++axis) {
            const float raw = sent.joystick[axis];
            const float expected = raw > 127 ? (raw - 127) / 128.0f : (raw - 127) / 127.0f;
            same = same && std::fabs(fixedpoint::decodeValuator(wand.val[axis]) - expected) < 0.0015f;
        }
        matched = matched || same;
    }
    EXPECT_TRUE(matched) << "the controller record maps the buttons and joystick of a sent combined record";
    EXPECT_TRUE(rig.device()->stop());
}

TEST(DeviceStream, ControllerOnlyDeviceReadsEightByteRecords) {
    DeviceRig rig({{1, StationKind::wand}});
    rig.lines.add("sensors").add("wands", {"1"});
    ASSERT_EQ(rig.init(), 1);
    EXPECT_EQ(rig.device()->configure(), 1);
    ASSERT_TRUE(rig.simulator().waitForCommands(10, 2000));
    EXPECT_EQ(rig.simulator().commandLog(),
              concat(outputLists({",22,23,1", ",2,4,1", ",2,4,1", ",2,4,1", ",2,4,1", ",2,4,1", ",2,4,1", ",2,4,1"}),
                     {"f", "C"}));
    ASSERT_TRUE(rig.receiveUntil({}, {1}, 5000));
    EXPECT_EQ(rig.trackers.recordCount(), 0u);
    EXPECT_EQ(rig.controllers.recordCount(), 1u);
    EXPECT_TRUE(rig.device()->stop());
    ASSERT_TRUE(rig.simulator().waitForCommands(11, 2000));
    EXPECT_EQ(rig.simulator().commandLog().back(), "c") << "no alignment reset without a tracker";
}

TEST(DeviceStream, IdsFollowThoseOfDevicesAlreadyInTheStorage) {
    DeviceRig rig;
    rig.trackers.storage()->dataNumber[0] = 3;
    rig.lines.add("cavecoord", {"off"});
    ASSERT_EQ(rig.init(), 1);
    EXPECT_EQ(rig.trackers.recordCount(), 5u);
    ASSERT_EQ(rig.device()->configure(), 2);
    ASSERT_TRUE(rig.receiveUntil({4, 5}, {}, 5000));
    EXPECT_TRUE(rig.publishedTrackers[1].empty());
    EXPECT_TRUE(matchesASentRecord(rig.publishedTrackers[4].back(), rig.simulator().sentRecords(1), false));
    EXPECT_TRUE(rig.device()->stop());
    ASSERT_TRUE(rig.simulator().waitForCommands(11, 2000));
    EXPECT_EQ(rig.simulator().commandLog().back(), "c") << "no alignment without CAVE coordinates";
}

TEST(DeviceStream, TransmitterAndSensorCorrectionsMoveEveryPosition) {
    DeviceRig rig({{1, StationKind::tracker}});
    rig.lines.add("sensors", {"1"})
        .add("cavecoord", {"no"})
        .add("transmitteroffset", {"1", "2", "3"})
        .add("sensortranslation", {"1", "6", "0", "-12", "inches"});
    ASSERT_EQ(rig.init(), 1);
    ASSERT_EQ(rig.device()->configure(), 2);
    ASSERT_TRUE(rig.receiveUntil({1}, {}, 5000));
    const float shift[3] = {1.5f, 2, 2};
    EXPECT_TRUE(positionFromASentRecord(rig.publishedTrackers[1].back(), rig.simulator().sentRecords(1), 1, shift));
    EXPECT_TRUE(rig.device()->stop());
}

// A controller record of a station that also tracks carries its button and
// joystick bytes right after the header; they are never taken from where a
// combined record would hold them.
TEST(DeviceStream, ShortControllerRecordOfATrackedStationUsesItsOwnBytes) {
    DeviceRig rig({{1, StationKind::both}}, 115200);
    rig.lines.add("sensors", {"1"}).add("controllers", {"1"}).add("cavecoord", {"off"});
    ASSERT_EQ(rig.init(), 1);
    ASSERT_EQ(rig.device()->configure(), 1);
    ASSERT_TRUE(rig.receiveUntil({1}, {1}, 5000));
    rig.simulator().injectGarbage({'0', '1', ' ', 0x2A, 255, 0, '\r', '\n'});
    bool seen = false;
    for (int call = 0; call < 200 && !seen; ++call) {
        ASSERT_EQ(rig.receive(), 1);
        for (const ConData& record : rig.publishedControllers[1]) {
            const bool buttons = record.buttonPressed(2) && record.buttonPressed(4) && record.buttonPressed(6) &&
                                 !record.buttonPressed(1) && !record.buttonPressed(3);
            seen = seen || (buttons && std::fabs(fixedpoint::decodeValuator(record.val[0]) - 1) < 1e-4f &&
                            std::fabs(fixedpoint::decodeValuator(record.val[1]) + 1) < 1e-4f);
        }
    }
    EXPECT_TRUE(seen);
    EXPECT_EQ(rig.device()->recvData(nullptr, nullptr), 1) << "a host without mask bytes is not written to";
    EXPECT_TRUE(rig.device()->stop());
}
