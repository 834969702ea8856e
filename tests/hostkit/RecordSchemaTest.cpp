// The host's JSON lines and record files through the kit's schema, the
// simulator's replay of a record file of another format version, and the
// replay's undoing of the device's pose pipeline.
#include "common/PoseMatchers.h"
#include "host/config/ConfigFile.h"
#include "is900/hostkit/RecordSchema.h"
#include "sim/Replay.h"
#include "sim/SampleInverse.h"
#include "sim/Simulator.h"
#include "tracker/PoseTransform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>

using namespace is900::hostkit;

namespace {

std::string writeFile(const std::string& name, const std::vector<std::string>& lines) {
    std::ofstream file(name);
    for (const std::string& line : lines) file << line << "\n";
    return name;
}

} // namespace

TEST(RecordSchema, ARecordFileReadsBackAsItWasWritten) {
    const RecordView tracker{
        RecordKind::tracker, "lab \"A\"\t1", 3, 5, 1700000000.25, {1.5f, -2.25f, 0.125f, -90.5f, 45, 179.75f}, {}, {}};
    const RecordView controller{RecordKind::controller, "", 1, 2, 0, {}, {true, false, false, true}, {-1, 0.5f}};
    const StatusLine status{"desk", "reconnecting", 3, 4, 1700000001.5, 0};
    const std::vector<OptionLine> options =
        parseConfigText("sensors 1 0 1\ncontrollers 0 1 1\ndevdataunit cm\ncavecoord off\nport \"a b\"\n", "t");
    const std::vector<std::string> written = {recordingHeaderLine(recordingHeaderOf(options)), jsonLine(tracker),
                                              statusJsonLine(status), jsonLine(controller)};
    EXPECT_EQ(written[0], "{\"type\":\"recording\",\"version\":2,\"units\":\"cm\",\"cave\":false,\"stations\":["
                          "{\"station\":1,\"kind\":\"tracker\"},{\"station\":2,\"kind\":\"controller\"},"
                          "{\"station\":3,\"kind\":\"both\"}],\"options\":[[\"sensors\",\"1\",\"0\",\"1\"],"
                          "[\"controllers\",\"0\",\"1\",\"1\"],[\"devdataunit\",\"cm\"],[\"cavecoord\",\"off\"],"
                          "[\"port\",\"a b\"]]}");

    const RecordFile file = readRecordFile(writeFile("schema-round-trip.jsonl", written));
    std::remove("schema-round-trip.jsonl");
    EXPECT_EQ(recordingHeaderLine(file.header), written[0]);
    ASSERT_EQ(file.header.options.size(), 5u);
    EXPECT_EQ(file.header.options[4].args, std::vector<std::string>{"a b"});
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

TEST(RecordSchema, AddedFieldsFollowTheRecordsOwnAndReadersPassOverThem) {
    RecordView controller;
    controller.kind = RecordKind::controller;
    controller.id = 4;
    controller.buttons = {false, true};
    controller.valuators = {0.25f};
    controller.device = "desk";
    const std::string line = jsonLine(controller, {{"quat", "[0,1,0,0]"}, {"note", "\"a\""}});
    EXPECT_EQ(line, "{\"type\":\"controller\",\"id\":4,\"station\":0,\"time\":0.000,\"buttons\":[0,1],"
                    "\"valuators\":[0.250],\"device\":\"desk\",\"quat\":[0,1,0,0],\"note\":\"a\"}");
    EXPECT_EQ(jsonLine(readJsonLine(line).record), jsonLine(controller));
    EXPECT_EQ(jsonLine(controller, {}), jsonLine(controller));
}

TEST(RecordSchema, ReplayRefusesAnotherFormatVersionNamingBoth) {
    const std::string path = writeFile("schema-version-1.jsonl",
                                       {"{\"type\":\"recording\",\"version\":1,\"units\":\"inches\",\"cave\":true,"
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

// A station's tracker and controller records of one line record, stamped a
// millisecond apart, replay as two frames; the first already holds the
// recorded controls, so no record that was never recorded goes out.
TEST(RecordSchema, AReplayedStationNeverSendsControlsOrPosesItsRecordingLacks) {
    const std::vector<OptionLine> options = parseConfigText("sensors 0 1\ncontrollers 0 1\ncavecoord off\n", "t");
    RecordView tracker;
    tracker.id = 1;
    tracker.station = 2;
    tracker.stamp = 1700000000.101;
    const float pose[6] = {1, 2, 3, 10, 20, 30};
    std::copy(pose, pose + 6, tracker.pose);
    RecordView controller;
    controller.kind = RecordKind::controller;
    controller.id = 1;
    controller.station = 2;
    controller.stamp = 1700000000.100;
    controller.buttons = {true, false, true};
    controller.valuators = {0.5f, -0.5f};
    const std::string path = writeFile("replay-split.jsonl", {recordingHeaderLine(recordingHeaderOf(options)),
                                                              jsonLine(tracker), jsonLine(controller)});
    const is900sim::Recording recording = is900sim::readRecording(path);
    std::remove(path.c_str());
    ASSERT_EQ(recording.frames.size(), 2u);
    const is900sim::ReplayFrame& first = recording.frames[0];
    const is900sim::ReplayFrame& second = recording.frames[1];
    EXPECT_EQ(first.buttons, second.buttons);
    EXPECT_NE(second.buttons, 0);
    EXPECT_EQ(first.joystick[0], second.joystick[0]);
    EXPECT_EQ(first.joystick[1], second.joystick[1]);
    EXPECT_THAT(first.published, ::testing::ElementsAreArray(second.published));
}

// Corrections the sample configurations lack, through the device's own
// pipeline and back: a transmitter rotation given as a matrix that is no
// rotation, a turned sensor with an offset and a translation, centimetres
// without CAVE coordinates. The tracker's pose comes back, and sent again it
// publishes the same values.
TEST(RecordSchema, TheReplayUndoesTheDevicesPosePipeline) {
    const DeviceSetup setup = readDeviceSetup(parseConfigText(
        "devdataunit cm\ncavecoord off\nsensors 0 1\ntransmitteroffset 1 -2 0.5\n"
        "transmitterrotationmatrix 1 0.3 0 0 1 0 0.2 0 1.1\nsensoroffset 2 0.1 0.2 -0.3\n"
        "sensorrotation 2 0 1 1 30\nsensortranslation 2 0 0 0.5\n",
        "t"));
    const SensorSetup& sensor = setup.sensors[1];
    const Matrix4 transmitter = composeTransform(
        rowsMatrix(setup.transmitter.rotation.data()),
        offsetMatrix(setup.transmitter.offset[0], setup.transmitter.offset[1], setup.transmitter.offset[2]));
    const Matrix4 sensorTransform = composeTransform(rowsMatrix(sensor.rotation.data()),
                                                     offsetMatrix(sensor.offset[0], sensor.offset[1], sensor.offset[2]));
    const auto publish = [&](const float sent[6], double published[6]) {
        float pose[6];
        std::copy(sent, sent + 6, pose);
        convertToFeet(pose, 'u', false);
        transformPose(pose, &transmitter, &sensorTransform, sensor.translation.data());
        for (int i = 0; i < 6; ++i) published[i] = std::trunc(pose[i] * 1e5) / 1e5;
    };
    const float poses[][6] = {{0, 0, 0, 0, 0, 0}, {120, -45, 210, 35, -20, 170}, {-80, 60, -15, -150, 70, -95}};
    for (const float* tracker : poses) {
        double published[6], again[6];
        publish(tracker, published);
        float sent[6];
        is900sim::sentPose(setup, 2, published, 0.5, sent, sent + 3);
        EXPECT_THAT(sent, PoseNearWrapped(tracker, 1e-3, 1e-3));
        publish(sent, again);
        EXPECT_THAT(again, PoseNear(published, 2e-5, 1e-4));
    }
}

// A record file is played back at the pace it was recorded: its times are
// seconds, and each record goes out when its moment has come on the
// simulator's clock, which the test moves on in steps.
TEST(RecordSchema, ARecordFileIsReplayedAtItsRecordedPace) {
    const std::vector<OptionLine> options = parseConfigText("sensors 1\n", "t");
    const double offsets[] = {0, 0.25, 0.75};
    std::vector<std::string> lines{recordingHeaderLine(recordingHeaderOf(options))};
    for (int i = 0; i < 3; ++i) {
        RecordView record;
        record.device = "paced";
        record.id = 1;
        record.station = 1;
        record.stamp = 1700000000.5 + offsets[i];
        record.pose[0] = static_cast<float>(i + 1);
        lines.push_back(jsonLine(record));
    }
    const std::string path = writeFile("replay-pace.jsonl", lines);
    is900sim::SimulatorOptions simulation;
    simulation.replay = std::make_shared<is900sim::Recording>(is900sim::readRecording(path));
    std::remove(path.c_str());
    ASSERT_EQ(simulation.replay->frames.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(simulation.replay->frames[i].seconds, offsets[i], 1e-6) << i;

    const auto start = std::chrono::steady_clock::now();
    std::atomic<long long> passedMs{0};
    simulation.clock = [&] { return start + std::chrono::milliseconds(passedMs.load()); };
    simulation.startStreaming = true;
    simulation.stations = simulation.replay->stations;
    is900sim::Simulator tracker(simulation);
    ASSERT_TRUE(tracker.start()) << tracker.errorText();
    for (std::size_t sent = 1; sent <= 3; ++sent) {
        ASSERT_TRUE(tracker.waitForRecords(sent, 10000)) << sent;
        passedMs += 50;
        EXPECT_FALSE(tracker.waitForRecords(sent + 1, 0)) << "a record before its moment";
        passedMs += 450;
    }
    const std::vector<is900sim::SentRecord> sent = tracker.sentRecords();
    ASSERT_EQ(sent.size(), 3u);
    for (int i = 1; i < 3; ++i) {
        const double seconds = std::chrono::duration<double>(sent[i].writeStartedAt - sent[0].writeStartedAt).count();
        EXPECT_GE(seconds, offsets[i] - 1e-9) << i;
        EXPECT_LT(seconds, offsets[i] + 0.5) << i;
    }
}
