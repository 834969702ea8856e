// The Windows plug-in under Wine, its COM1 connected to a native tracker
// simulator with a head tracker on station 1 and a wand on station 2. The
// harness that runs this test checks the commands the simulator received.
#include "common/OptionLinesBuilder.h"
#include "common/PluginLibrary.h"
#include "storage/ConData.h"
#include "storage/FixedPoint.h"
#include "common/KitRecords.h"

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

// The plug-in's device on COM1 with the host's storages and run flag.
struct WineDevice {
    PluginLibrary plugin;
    is900::hostkit::HostStorage trackers{is900::hostkit::StorageKind::tracker};
    is900::hostkit::HostStorage controllers{is900::hostkit::StorageKind::controller};
    OptionLinesBuilder lines;
    int32_t runFlag = 1;
    CBase* device = nullptr;

    int init() {
        device = plugin.create(lines.get(), nullptr);
        if (!device) return 0;
        is900::hostkit::DevInitInfo info = is900::hostkit::deviceInitInfo(trackers, controllers, &runFlag);
        return device->init(kitrecords::plugin(&info));
    }
    ~WineDevice() {
        if (device) plugin.destroy(device);
    }
};

} // namespace

// Run by the harness with a simulator that pulls the cable 8 s after its
// start and plugs it back 3 s later, under the same path COM1 names.
TEST(DeviceUnderWineReconnect, StreamsAgainAfterTheLineWasUnpluggedAndBack) {
    WineDevice wine;
    ASSERT_TRUE(wine.plugin.loaded());
    wine.lines.add("port", {"COM1"}).add("baud", {"115200"}).add("sensors", {"1"}).add("reconnect", {"on"});
    ASSERT_EQ(wine.init(), 1);
    ASSERT_EQ(wine.device->configure(), 2);

    using Clock = std::chrono::steady_clock;
    unsigned char masks[8] = {};
    Clock::time_point lastRecord = Clock::now();
    bool outage = false, backAfterOutage = false;
    const auto deadline = Clock::now() + std::chrono::seconds(40);
    while (!backAfterOutage && Clock::now() < deadline) {
        ASSERT_EQ(wine.device->recvData(masks, nullptr), 1);
        if (!maskHas(masks, 1)) {
            outage = outage || Clock::now() - lastRecord > std::chrono::milliseconds(1500);
            continue;
        }
        lastRecord = Clock::now();
        backAfterOutage = outage;
    }
    if (!outage) GTEST_SKIP() << "Wine reported no failure on the unplugged line and the records never paused";
    EXPECT_TRUE(backAfterOutage) << "records again after the line came back";
    wine.device->stop();
}

TEST(DeviceUnderWine, StreamsATrackerAndAWandThroughCom1) {
    WineDevice wine;
    ASSERT_TRUE(wine.plugin.loaded());
    is900::hostkit::HostStorage& trackers = wine.trackers;
    is900::hostkit::HostStorage& controllers = wine.controllers;
    wine.lines.add("port", {"COM1"}).add("baud", {"115200"}).add("sensors", {"1"}).add("controllers", {"0", "1"});
    ASSERT_EQ(wine.init(), 1);
    CBase* device = wine.device;
    ASSERT_EQ(device->configure(), 1);

    unsigned char masks[8] = {};
    int trackerRecords = 0;
    int controllerRecords = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((trackerRecords < 20 || controllerRecords < 5) && std::chrono::steady_clock::now() < deadline) {
        ASSERT_EQ(device->recvData(masks, nullptr), 1);
        TraData tracker;
        if (maskHas(masks, 1) && kitrecords::readTraData(trackers, 1, tracker)) {
            EXPECT_TRUE(plausible(tracker));
            ++trackerRecords;
        }
        ConData wand;
        if (maskHas(masks + 4, 1) && kitrecords::readConData(controllers, 1, wand)) {
            EXPECT_EQ(wand.valuatorCount(), 2u);
            EXPECT_EQ(wand.buttonCount(), 8u);
            ++controllerRecords;
        }
    }
    EXPECT_GE(trackerRecords, 20);
    EXPECT_GE(controllerRecords, 5);
    EXPECT_TRUE(device->stop());
    EXPECT_TRUE(wine.plugin.destroy(device));
    wine.device = nullptr;
}
