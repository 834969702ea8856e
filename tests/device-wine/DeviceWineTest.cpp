// The Windows plug-in under Wine, its COM1 connected to a native tracker
// simulator with a head tracker on station 1 and a wand on station 2. The
// harness that runs this test checks the commands the simulator received.
#include "common/OptionLinesBuilder.h"
#include "common/PluginLibrary.h"
#include "storage/ConData.h"
#include "storage/FixedPoint.h"
#include "tools/hostkit/HostStorage.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

namespace {

bool maskHas(const unsigned char* mask, uint32_t id) {
    const uint32_t bit = id - 1;
    return (mask[3 - bit / 8] >> (bit % 8) & 1) != 0;
}

bool plausible(const TraData& record) {
    const uint32_t TraData::*positions[3] = {&TraData::x, &TraData::y, &TraData::z};
    const uint32_t TraData::*angles[3] = {&TraData::azim, &TraData::elev, &TraData::roll};
    for (auto field : positions)
        if (std::fabs(fixedpoint::decodePose(record.*field)) > 50) return false;
    for (auto field : angles)
        if (std::fabs(fixedpoint::decodePose(record.*field)) > 180.001f) return false;
    return true;
}

} // namespace

TEST(DeviceUnderWine, StreamsATrackerAndAWandThroughCom1) {
    PluginLibrary plugin;
    ASSERT_TRUE(plugin.loaded());
    hostkit::HostStorage trackers(hostkit::StorageKind::tracker);
    hostkit::HostStorage controllers(hostkit::StorageKind::controller);
    OptionLinesBuilder lines;
    lines.add("port", {"COM1"}).add("baud", {"115200"}).add("sensors", {"1"}).add("controllers", {"0", "1"});
    CBase* device = plugin.create(lines.get(), nullptr);
    ASSERT_NE(device, nullptr);
    int32_t runFlag = 1;
    DevInitInfo info{};
    info.trackerStorage = trackers.storage();
    info.controllerStorage = controllers.storage();
    info.runFlag = &runFlag;
    ASSERT_EQ(device->init(&info), 1);
    ASSERT_EQ(device->configure(), 1);

    unsigned char masks[8] = {};
    int trackerRecords = 0;
    int controllerRecords = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((trackerRecords < 20 || controllerRecords < 5) && std::chrono::steady_clock::now() < deadline) {
        ASSERT_EQ(device->recvData(masks, nullptr), 1);
        TraData tracker;
        if (maskHas(masks, 1) && trackers.readTraData(1, tracker)) {
            EXPECT_TRUE(plausible(tracker));
            ++trackerRecords;
        }
        ConData wand;
        if (maskHas(masks + 4, 1) && controllers.readConData(1, wand)) {
            EXPECT_EQ(wand.valuatorCount(), 2u);
            EXPECT_EQ(wand.buttonCount(), 8u);
            ++controllerRecords;
        }
    }
    EXPECT_GE(trackerRecords, 20);
    EXPECT_GE(controllerRecords, 5);
    EXPECT_TRUE(device->stop());
    EXPECT_TRUE(plugin.destroy(device));
}
