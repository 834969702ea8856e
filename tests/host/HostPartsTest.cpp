#include "host/config/DeviceConfigBlock.h"
#include "is900/hostkit/DeviceSetup.h"
#include "host/config/LoggerRecord.h"
#include "host/view/RecordView.h"

#include "is900/hostkit/Records.h"
#include "is900/table/RecordTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace is900::hostkit;

namespace {

uint32_t networkOrder(int32_t value) { return fromNetworkOrder(static_cast<uint32_t>(value)); }

TraData trackerRecord(uint32_t id, const int32_t (&fixed)[6]) {
    TraData record{};
    record.id = networkOrder(static_cast<int32_t>(id));
    record.timeSec = networkOrder(1700000000);
    record.timeUsec = networkOrder(250000);
    uint32_t* fields[6] = {&record.x, &record.y, &record.z, &record.azim, &record.elev, &record.roll};
    for (int i = 0; i < 6; ++i) *fields[i] = networkOrder(fixed[i]);
    return record;
}

ConData controllerRecord(uint32_t id, uint8_t buttons, int32_t valuator1, int32_t valuator2) {
    ConData record{};
    record.id = networkOrder(static_cast<int32_t>(id));
    record.valNumber = networkOrder(2);
    record.butNumber = networkOrder(8);
    record.val[0] = networkOrder(valuator1);
    record.val[1] = networkOrder(valuator2);
    record.but[0] = buttons;
    record.butBytes = 4;
    return record;
}

} // namespace

TEST(DeviceSetup, ConfigBlockPointsAtEveryLineAndArgument) {
    const auto options = parseConfigText("port /dev/ttyS1\n\nsensors 1 0 1\nreset\n", "t");
    DeviceConfigBlock block("head", options);
    const DevConfig& config = *block.get();
    EXPECT_STREQ(config.name, "head");
    ASSERT_EQ(config.lineCount, 3u);
    EXPECT_EQ(config.lines[0].lineNumber, 1u);
    EXPECT_STREQ(config.lines[0].keyword, "port");
    EXPECT_EQ(config.lines[0].argCount, 1u);
    EXPECT_STREQ(config.lines[0].args[0], "/dev/ttyS1");
    EXPECT_EQ(config.lines[1].lineNumber, 3u);
    EXPECT_EQ(config.lines[1].argCount, 3u);
    EXPECT_STREQ(config.lines[1].args[2], "1");
    EXPECT_EQ(config.lines[2].argCount, 0u);
    for (uint32_t i = 0; i < config.lineCount; ++i) EXPECT_FALSE(config.lines[i].used);
}

TEST(DeviceSetup, StationLayoutFollowsTheDevicesNumbering) {
    const is900::hostkit::DeviceSetup defaults = is900::hostkit::readDeviceSetup({});
    EXPECT_EQ(defaults.trackerStations(), (std::vector<int>{1, 2}));
    EXPECT_TRUE(defaults.controllerStations().empty());
    EXPECT_FALSE(defaults.centimetres);

    const auto options = parseConfigText("SENSORS 0 0 0 0 1\ntrackers 1 0 0x1\nwand 0 1 0 1\ndevdataunit CM\n", "t");
    const is900::hostkit::DeviceSetup layout = is900::hostkit::readDeviceSetup(options);
    EXPECT_EQ(layout.trackerStations(), (std::vector<int>{1, 3}));
    EXPECT_EQ(layout.controllerStations(), (std::vector<int>{2, 4}));
    EXPECT_TRUE(layout.centimetres);
    EXPECT_EQ(layout.trackerStation(2), 3);
    EXPECT_EQ(layout.controllerStation(1), 2);
    EXPECT_EQ(layout.trackerStation(0), 0);
    EXPECT_EQ(layout.controllerStation(3), 0);
}

TEST(LoggerRecord, FillsTheRecordTheWayThePluginReadsIt) {
    LoggerSettings settings;
    settings.name = "wand-rig";
    settings.enabled = false;
    settings.timestamps = true;
    settings.threadIds = false;
    settings.debugLevel = 3;
    LoggerRecord record(settings);
    const unsigned char* bytes = record.data();
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[1], 1);
    EXPECT_EQ(bytes[2], 0);
    EXPECT_EQ(bytes[3], 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 4), "wand-rig");
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 204), "ERROR");
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 404), "DEBUG");
    int32_t numbers[3];
    std::memcpy(numbers, bytes + 504, sizeof numbers);
    EXPECT_EQ(numbers[0], 1);
    EXPECT_EQ(numbers[1], 3);
    EXPECT_EQ(numbers[2], 0);

    settings.name = std::string(150, 'n');
    LoggerRecord longName(settings);
    EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(longName.data() + 4)), 99u);
    EXPECT_STREQ(reinterpret_cast<const char*>(longName.data() + 104), "INFO");
}

TEST(RecordView, DecodesRecordsAndWritesOneJsonObjectPerLine) {
    const RecordView tracker = viewTracker(trackerRecord(2, {150000, -1, 0, 9000000, -4500000, 12}), 5);
    EXPECT_EQ(tracker.id, 2u);
    EXPECT_EQ(tracker.station, 5);
    EXPECT_FLOAT_EQ(tracker.pose[0], 1.5f);
    EXPECT_FLOAT_EQ(tracker.pose[3], 90.0f);
    EXPECT_EQ(jsonLine(tracker), "{\"type\":\"tracker\",\"id\":2,\"station\":5,\"time\":1700000000.250,"
                                 "\"x\":1.50000,\"y\":-0.00001,\"z\":0.00000,\"azim\":90.00000,"
                                 "\"elev\":-45.00000,\"roll\":0.00012}");

    const RecordView controller = viewController(controllerRecord(1, 0x21, -1000, 500), 2);
    EXPECT_EQ(controller.buttons, (std::vector<bool>{1, 0, 0, 0, 0, 1, 0, 0}));
    EXPECT_EQ(jsonLine(controller), "{\"type\":\"controller\",\"id\":1,\"station\":2,\"time\":0.000,"
                                    "\"buttons\":[1,0,0,0,0,1,0,0],\"valuators\":[-1.000,0.500]}");

    ConData wild = controllerRecord(1, 0xff, 0, 0);
    wild.valNumber = networkOrder(1000);
    wild.butNumber = networkOrder(-1);
    const RecordView capped = viewController(wild, 1);
    EXPECT_EQ(capped.valuators.size(), 32u);
    EXPECT_EQ(capped.buttons.size(), 32u);
}

TEST(RecordView, TableShowsOneRowPerRecord) {
    LiveRecord tracker;
    tracker.view = viewTracker(trackerRecord(1, {100000, 200000, -300000, 9000000, 0, -9000000}), 1);
    tracker.rate = 119.5;
    tracker.ageSeconds = 0.01;
    LiveRecord wand;
    wand.view = viewController(controllerRecord(1, 0x05, 250, -1000), 2);
    const std::string table = formatTable({tracker, wand});
    EXPECT_NE(table.find("KIND"), std::string::npos);
    EXPECT_NE(table.find("   1.0000    2.0000   -3.0000    90.00     0.00   -90.00"), std::string::npos);
    EXPECT_NE(table.find("1-3-----"), std::string::npos);
    EXPECT_NE(table.find("+0.250 -1.000"), std::string::npos);
    EXPECT_NE(table.find("119.5"), std::string::npos);
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 3);
    EXPECT_NE(formatTable({}).find("no record published yet"), std::string::npos);
}

TEST(LiveBoard, CountsUpdatesRateAndAgePerRecord) {
    LiveBoard board;
    const LiveBoard::Clock::time_point start{};
    RecordView view;
    view.id = 3;
    for (int i = 0; i <= 100; ++i) board.update(view, start + std::chrono::milliseconds(10 * i));
    view.kind = RecordKind::controller;
    view.id = 1;
    board.update(view, start);

    const auto records = board.snapshot(start + std::chrono::milliseconds(1500));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].view.kind, RecordKind::tracker);
    EXPECT_EQ(records[0].updates, 101u);
    EXPECT_NEAR(records[0].rate, 100.0, 0.5);
    EXPECT_NEAR(records[0].ageSeconds, 0.5, 1e-9);
    EXPECT_EQ(records[1].updates, 1u);
    EXPECT_EQ(records[1].rate, 0.0);

    const auto later = board.snapshot(start + std::chrono::seconds(3));
    EXPECT_EQ(later[0].rate, 0.0) << "a record that stopped changing shows no rate";
}

TEST(RecordView, UpdateMaskBitsNameRecordIds) {
    const unsigned char none[4] = {0, 0, 0, 0};
    EXPECT_TRUE(markedIds(none).empty());
    const unsigned char some[4] = {0x80, 0x00, 0x01, 0x03};
    EXPECT_EQ(markedIds(some), (std::vector<uint32_t>{1, 2, 9, 32}));
}
