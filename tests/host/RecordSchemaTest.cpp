// The host's JSON lines and record files through the kit's schema, and the
// simulator's replay of a record file of another format version.
#include "host/config/ConfigFile.h"
#include "is900/hostkit/RecordSchema.h"
#include "sim/Replay.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

using namespace is900::hostkit;

namespace {

std::string writeFile(const std::string& name, const std::vector<std::string>& lines) {
    std::ofstream file(name);
    for (const std::string& line : lines) file << line << "\n";
    return name;
}

} // namespace

TEST(RecordSchema, ARecordFileReadsBackAsItWasWritten) {
    RecordView tracker;
    tracker.device = "lab \"A\"\t1";
    tracker.id = 3;
    tracker.station = 5;
    tracker.stamp = 1700000000.25;
    const float pose[6] = {1.5f, -2.25f, 0.125f, -90.5f, 45, 179.75f};
    std::copy(pose, pose + 6, tracker.pose);
    RecordView controller;
    controller.kind = RecordKind::controller;
    controller.id = 1;
    controller.station = 2;
    controller.buttons = {true, false, false, true};
    controller.valuators = {-1, 0.5f};
    const StatusLine status{"desk", "reconnecting", 3, 4, 1700000001.5, 0};
    const DeviceSetup setup =
        readDeviceSetup(parseConfigText("sensors 1 0 1\ncontrollers 0 1 1\ndevdataunit cm\ncavecoord off\n", "t"));
    const std::vector<std::string> written = {recordingHeaderLine(recordingHeaderOf(setup)), jsonLine(tracker),
                                              statusJsonLine(status), jsonLine(controller)};
    EXPECT_EQ(written[0], "{\"type\":\"recording\",\"version\":1,\"units\":\"cm\",\"cave\":false,\"stations\":["
                          "{\"station\":1,\"kind\":\"tracker\"},{\"station\":2,\"kind\":\"controller\"},"
                          "{\"station\":3,\"kind\":\"both\"}]}");

    const RecordFile file = readRecordFile(writeFile("schema-round-trip.jsonl", written));
    std::remove("schema-round-trip.jsonl");
    EXPECT_EQ(recordingHeaderLine(file.header), written[0]);
    ASSERT_EQ(file.lines.size(), 3u);
    EXPECT_EQ(file.lines[0].record.device, tracker.device);
    EXPECT_EQ(jsonLine(file.lines[0].record), written[1]);
    ASSERT_EQ(file.lines[1].type, LineType::status);
    EXPECT_EQ(statusJsonLine(file.lines[1].status), written[2]);
    EXPECT_EQ(file.lines[2].record.kind, RecordKind::controller);
    EXPECT_EQ(file.lines[2].record.buttons, controller.buttons);
    EXPECT_EQ(jsonLine(file.lines[2].record), written[3]);

    EXPECT_THROW(readJsonLine("{\"type\":\"tracker\",\"id\":1}"), SchemaError);
    EXPECT_THROW(readJsonLine("{\"type\":\"tracker\""), SchemaError);
}

TEST(RecordSchema, ReplayRefusesAnotherFormatVersionNamingBoth) {
    const std::string path = writeFile("schema-version-2.jsonl",
                                       {"{\"type\":\"recording\",\"version\":2,\"units\":\"inches\",\"cave\":true,"
                                        "\"stations\":[{\"station\":1,\"kind\":\"tracker\"}]}"});
    std::string message;
    try {
        is900sim::readRecording(path);
    } catch (const is900sim::ReplayError& error) {
        message = error.what();
    }
    std::remove(path.c_str());
    EXPECT_NE(message.find(path + ":1:"), std::string::npos) << message;
    EXPECT_NE(message.find("version 2"), std::string::npos) << message;
    EXPECT_NE(message.find("version 1"), std::string::npos) << message;
}
