// is900-host's outputs seen from outside: standard output with data only, a
// reader that leaves, OSC to a liblo server, DDS to a Cyclone DDS reader, and
// a recording played back by is900-sim into a second host. Everything stays
// on 127.0.0.1.
#include "common/PoseMatchers.h"
#include "common/ChildProcess.h"

#include "Is900Messages.h"
#include "Ros2Messages.h"
#include "host/outputs/DdsOutput.h"
#include "host/view/Orientation.h"
#include "is900/hostkit/RecordSchema.h"

#include <dds/dds.h>
#include <gtest/gtest.h>
#include <lo/lo.h>

#include <array>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <unistd.h>

namespace {

const std::string host = "./is900-host";
const std::string headAndWand = std::string(HOST_CONFIG_DIR) + "/head-and-wand.cfg";


// A published record as its JSON line gives it.
struct JsonRecord {
    bool tracker = true;
    int id = 0, station = 0;
    double time = 0;
    double pose[6] = {0, 0, 0, 0, 0, 0};
    std::vector<double> buttons, valuators;
};

std::vector<JsonRecord> jsonRecords(const std::vector<std::string>& lines) {
    std::vector<JsonRecord> records;
    for (const std::string& line : lines) {
        if (line.empty() || line[0] != '{') continue;
        const is900::hostkit::JsonLine read = is900::hostkit::readJsonLine(line);
        if (read.type != is900::hostkit::LineType::record) continue;
        const is900::hostkit::RecordView& view = read.record;
        JsonRecord record;
        record.tracker = view.kind == is900::hostkit::RecordKind::tracker;
        record.id = static_cast<int>(view.id);
        record.station = view.station;
        record.time = view.stamp;
        std::copy(view.pose, view.pose + 6, record.pose);
        record.buttons.assign(view.buttons.begin(), view.buttons.end());
        record.valuators.assign(view.valuators.begin(), view.valuators.end());
        records.push_back(record);
    }
    return records;
}

// The JSON record of that kind and ID whose time (printed to the
// millisecond) is the stamp's.
// The record of that ID and time (the JSON lines give it to the millisecond)
// that is nearest in its values: on a loaded machine the receiving thread
// reads records together, and one ID's records share a millisecond.
const JsonRecord* recordAt(const std::vector<JsonRecord>& records, bool tracker, int id, double stamp,
                           const std::function<double(const JsonRecord&)>& distance) {
    const JsonRecord* nearest = nullptr;
    for (const JsonRecord& record : records)
        if (record.tracker == tracker && record.id == id && std::fabs(record.time - stamp) < 6e-4 &&
            (!nearest || distance(record) < distance(*nearest)))
            nearest = &record;
    return nearest;
}

std::vector<std::string> run(const std::vector<std::string>& command, int expectedStatus, std::string* errors = nullptr) {
    ChildProcess child(command);
    EXPECT_EQ(child.waitForExit(60000), expectedStatus) << child.errors();
    if (errors) *errors = child.errors();
    return child.outputLines();
}

} // namespace

TEST(HostOutputs, StandardOutputCarriesDataOnlyAndAReaderThatLeavesEndsTheRunInOrder) {
    std::string errors;
    const std::vector<std::string> quiet =
        run({host, "--simulate", "-c", headAndWand, "--format", "jsonl", "--duration", "2", "-q"}, 0, &errors);
    EXPECT_GT(quiet.size(), 20u);
    for (const std::string& line : quiet) EXPECT_EQ(line[0], '{') << line;
    EXPECT_FALSE(contains(errors, "is900: ")) << "-q sends the plug-in's lines nowhere";

    const std::string commandLog = testing::TempDir() + "outputs-head-" + std::to_string(getpid()) + ".log";
    const auto begin = std::chrono::steady_clock::now();
    const std::vector<std::string> three = run(
        {"/bin/sh", "-c",
         "{ " + host + " --simulate -c " + headAndWand + " --format jsonl --duration 30 --sim-log " + commandLog +
             "; echo host status $? >&2; } | head -3"},
        0, &errors);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(20));
    ASSERT_EQ(three.size(), 3u);
    for (const std::string& line : three) EXPECT_EQ(line[0], '{') << line;
    EXPECT_TRUE(contains(errors, "is900: INFO")) << "the plug-in's log lines go to standard error";
    EXPECT_TRUE(contains(errors, "host status 0")) << errors;
    const std::vector<std::string> commands = fileLines(commandLog);
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), "A8,0,0,0,200,0,0,0,200,0") << "stop restored the alignment";
}

TEST(HostOutputs, BadOutputOptionsAndReplayFilesAreRefusedBeforeAnyDeviceIsTouched) {
    const std::string badReplay = testing::TempDir() + "bad-replay.jsonl";
    std::ofstream(badReplay) << "{\"type\":\"recording\",\"version\":2,\"units\":\"inches\",\"cave\":true,"
                                "\"stations\":[{\"station\":1,\"kind\":\"tracker\"}],\"options\":[]}\n"
                                "{\"type\":\"status\",\"device\":\"is900\",\"state\":\"streaming\",\"attempt\":1,"
                                "\"retry_in\":0,\"time\":5,\"last_record\":null}\n"
                                "{\"type\":\"tracker\",\"id\":1,\"station\":1,\"time\":5,\"x\":1}\n";
    const std::string noHeader = testing::TempDir() + "no-header.jsonl";
    std::ofstream(noHeader) << "{\"type\":\"tracker\",\"id\":1,\"station\":1,\"time\":5}\n";
    const std::vector<std::pair<std::vector<std::string>, std::string>> runs = {
        {{host, "--simulate", "--osc", "osc.udp://127.0.0.1"}, "--osc osc.udp://127.0.0.1 is not an OSC address"},
        {{host, "--simulate", "--osc", "osc.tcp://127.0.0.1:9000"}, "is not an OSC address of the form osc.udp://HOST:PORT"},
        {{host, "--simulate", "--dds", "--dds-domain", "233"}, "--dds-domain 233 is outside 0..232"},
        {{host, "--simulate", "--record", "/no/such/folder/r.jsonl"}, "cannot write the record file '/no/such/folder/r.jsonl'"},
        {{"./is900-sim", "--replay", badReplay}, badReplay + ":3: no \"y\" field"},
        {{"./is900-sim", "--replay", noHeader}, noHeader + ": the first line is no recording header"},
    };
    for (const auto& bad : runs) {
        std::string errors;
        const std::vector<std::string> output = run(bad.first, 2, &errors);
        EXPECT_TRUE(contains(errors, bad.second)) << errors;
        EXPECT_FALSE(contains(errors, "is900: ")) << "the plug-in was not loaded";
        EXPECT_TRUE(output.empty());
    }
}

namespace {

struct OscMessage {
    std::string path;
    std::vector<double> numbers;
};

// What the OSC server thread received. The test sends endPath itself once
// the host has ended: the server reads its socket in order, so when the
// marker is handled every message the host sent before it has been too.
struct OscReceived {
    static constexpr const char* endPath = "/test/end";
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<OscMessage> messages;
    bool ended = false;
};

int collectOsc(const char* path, const char* types, lo_arg** argv, int argc, lo_message, void* data) {
    OscMessage message{path, {}};
    // liblo leaves doubles at 4-byte alignment: copy the bytes out.
    for (int i = 0; i < argc; ++i) {
        float f;
        double d;
        int32_t n;
        if (types[i] == 'd') std::memcpy(&d, argv[i], sizeof d);
        else if (types[i] == 'f') std::memcpy(&f, argv[i], sizeof f), d = f;
        else std::memcpy(&n, argv[i], sizeof n), d = n;
        message.numbers.push_back(d);
    }
    auto* received = static_cast<OscReceived*>(data);
    {
        std::lock_guard<std::mutex> lock(received->mutex);
        if (message.path == OscReceived::endPath) received->ended = true;
        else received->messages.push_back(message);
    }
    received->changed.notify_all();
    return 0;
}

// An OSC server on a loopback port of its own, collecting on its thread.
class OscServer {
public:
    OscServer() : server(lo_server_thread_new_with_proto(nullptr, LO_UDP, nullptr)) {
        if (!server) return;
        lo_server_thread_add_method(server, nullptr, nullptr, collectOsc, &received);
        lo_server_thread_start(server);
    }
    ~OscServer() {
        if (server) lo_server_thread_free(server);
    }
    bool started() const { return server != nullptr; }
    std::string url() const { return "osc.udp://127.0.0.1:" + std::to_string(lo_server_thread_get_port(server)); }
    // Sends the end marker and waits until the server has handled it, and
    // so everything sent before it.
    const OscReceived& receivedAll() {
        lo_address self = lo_address_new_from_url(url().c_str());
        const int markerSent = lo_send(self, OscReceived::endPath, "");
        lo_address_free(self);
        EXPECT_GE(markerSent, 0) << "the end marker could not be sent";
        if (markerSent < 0) return received;
        std::unique_lock<std::mutex> lock(received.mutex);
        EXPECT_TRUE(received.changed.wait_for(lock, std::chrono::seconds(30), [&] { return received.ended; }))
            << "the server handled everything sent before the end marker";
        return received;
    }

private:
    OscReceived received;
    lo_server_thread server;
};

} // namespace

TEST(HostOutputs, OscMessagesCarryThePublishedRecords) {
    OscServer server;
    ASSERT_TRUE(server.started());
    const std::string url = server.url();

    const std::vector<JsonRecord> records = jsonRecords(
        run({host, "--simulate", "-c", headAndWand, "--format", "jsonl", "--duration", "2", "-q", "--osc", url}, 0));
    const OscReceived& received = server.receivedAll();

    std::map<std::string, int> perPath;
    std::vector<std::vector<double>> controllerMessages;
    for (const OscMessage& message : received.messages) {
        ++perPath[message.path];
        if (message.path == "/is900/controller/1") {
            controllerMessages.push_back(message.numbers);
            continue;
        }
        ASSERT_EQ(message.numbers.size(), 7u) << message.path;
        const int id = std::atoi(message.path.c_str() + message.path.rfind('/') + 1);
        const JsonRecord* record = recordAt(records, true, id, message.numbers[6], [&](const JsonRecord& candidate) {
            double sum = 0;
            for (int i = 0; i < 6; ++i) sum += std::fabs(message.numbers[i] - candidate.pose[i]);
            return sum;
        });
        ASSERT_NE(record, nullptr) << message.path << " at " << message.numbers[6];
        EXPECT_THAT(message.numbers, PoseNear(record->pose, 1e-5, 1e-5));
    }
    EXPECT_EQ(perPath.size(), 3u);
    EXPECT_GT(perPath["/is900/tracker/1"], 30);
    EXPECT_GT(perPath["/is900/tracker/2"], 30);

    // Controller messages carry no time: they follow the JSON lines in order.
    std::vector<const JsonRecord*> controllers;
    for (const JsonRecord& record : records)
        if (!record.tracker) controllers.push_back(&record);
    ASSERT_EQ(controllerMessages.size(), controllers.size());
    for (std::size_t k = 0; k < controllers.size(); ++k) {
        int bits = 0;
        for (std::size_t n = 0; n < controllers[k]->buttons.size(); ++n)
            if (controllers[k]->buttons[n] != 0) bits |= 1 << n;
        ASSERT_EQ(controllerMessages[k].size(), 1 + controllers[k]->valuators.size());
        EXPECT_EQ(controllerMessages[k][0], bits);
        for (std::size_t i = 0; i < controllers[k]->valuators.size(); ++i)
            EXPECT_NEAR(controllerMessages[k][1 + i], controllers[k]->valuators[i], 1e-6);
    }
}

namespace {

// Cyclone DDS on the loopback interface only: no multicast, 127.0.0.1 as the
// one peer, a domain of this run's own.
int isolatedDomain() {
    setenv("CYCLONEDDS_URI", "file://" HOST_CONFIG_DIR "/cyclonedds-loopback.xml", 1);
    return 1 + static_cast<int>(getpid() % 200);
}

// What a test needs of the samples, copied out of the reader's loans.
struct PoseSample {
    int id;
    double stamp;
    std::string frameId;
    double position[3];
    geometry_msgs_msg_dds__Quaternion_ orientation;
};

struct JoySample {
    double stamp;
    std::vector<float> axes;
    std::vector<int32_t> buttons;
};

// A best-effort reader (as the host writes) that keeps every sample until it is taken.
dds_entity_t keepAllReader(dds_entity_t participant, const dds_topic_descriptor_t* type, const std::string& topicName) {
    dds_qos_t* qos = dds_create_qos();
    dds_qset_reliability(qos, DDS_RELIABILITY_BEST_EFFORT, 0);
    dds_qset_history(qos, DDS_HISTORY_KEEP_ALL, 0);
    const dds_entity_t topic = dds_create_topic(participant, type, topicName.c_str(), nullptr, nullptr);
    const dds_entity_t reader = dds_create_reader(participant, topic, qos, nullptr);
    dds_delete_qos(qos);
    return reader;
}

double stampOf(const std_msgs_msg_dds__Header_& header) { return header.stamp.sec + header.stamp.nanosec * 1e-9; }

template <typename Sample, typename Copy>
void takeAll(dds_entity_t reader, Copy copy) {
    void* buffers[64] = {};
    dds_sample_info_t infos[64];
    int count;
    while ((count = dds_take(reader, buffers, infos, 64, 64)) > 0) {
        for (int k = 0; k < count; ++k)
            if (infos[k].valid_data) copy(*static_cast<const Sample*>(buffers[k]));
        dds_return_loan(reader, buffers, count);
    }
}

} // namespace

// The value of "key": in text from its first occurrence after `from`.
double valueAfter(const std::string& text, const std::string& key, std::size_t from = 0) {
    const std::size_t at = text.find("\"" + key + "\":", from);
    return at == std::string::npos ? std::nan("") : std::strtod(text.c_str() + at + key.size() + 3, nullptr);
}

// Processed stations publish the processed pose where the device's would go
// and the device's own beside it: a JSON field, an OSC address, a DDS topic;
// the record file keeps the device's poses.
TEST(HostOutputs, ProcessedStationsCarryTheirProcessingAndTheDevicesOwnPoses) {
    std::string text;
    for (const std::string& line : fileLines(headAndWand)) text += line + "\n";
    const std::string config = writeTempFile("processed.cfg", text + "predict 20 1\nfilter 2\n");
    const std::string recording = testing::TempDir() + "processed-" + std::to_string(getpid()) + ".jsonl";
    OscServer server;
    ASSERT_TRUE(server.started());
    const std::string url = server.url();
    const int domain = isolatedDomain();
    const std::string prefix = "processed" + std::to_string(getpid());
    const dds_entity_t participant = dds_create_participant(domain, nullptr, nullptr);
    ASSERT_GT(participant, 0) << dds_strretcode(participant);
    const dds_entity_t rawReader =
        keepAllReader(participant, &geometry_msgs_msg_dds__PoseStamped__desc, "rt/" + prefix + "/tracker1_raw");
    ChildProcess child({host, "--simulate", "-c", config, "--format", "jsonl", "--duration", "4", "-q", "--osc", url,
                        "--record", recording, "--dds", "--dds-domain", std::to_string(domain), "--dds-prefix", prefix});
    // The device directory names each station's processing.
    ASSERT_TRUE(child.waitForLine([](const std::string& line) { return line.rfind("{\"type\":\"tracker\"", 0) == 0; },
                                  30000))
        << child.errors();
    ChildProcess lister({"./is900-print", "--domain", std::to_string(domain), "--dds-prefix", prefix, "--wait", "2"});
    ASSERT_EQ(lister.waitForExit(30000), 0) << lister.errors();
    EXPECT_NE(lister.output().find(" tracker1=station1 (predict 20 ms) tracker2=station2 (filter 0.5 16) controller"),
              std::string::npos)
        << lister.output();
    ASSERT_EQ(child.waitForExit(60000), 0) << child.errors();
    const std::vector<std::string> lines = child.outputLines();
    std::vector<std::pair<double, std::array<double, 3>>> rawSamples;
    takeAll<geometry_msgs_msg_dds__PoseStamped_>(rawReader, [&](const geometry_msgs_msg_dds__PoseStamped_& sample) {
        rawSamples.push_back({stampOf(sample.header), {sample.pose.position.x, sample.pose.position.y, sample.pose.position.z}});
    });
    dds_delete(participant);
    const OscReceived& received = server.receivedAll();

    const char* const names[6] = {"x", "y", "z", "azim", "elev", "roll"};
    std::map<int, std::vector<std::array<double, 6>>> raw; // per tracker ID, in order
    int moved = 0, controllers = 0;
    for (const std::string& line : lines) {
        if (line.rfind("{\"type\":\"controller\"", 0) == 0) {
            EXPECT_EQ(line.find("processing"), std::string::npos) << line;
            ++controllers;
        }
        if (line.rfind("{\"type\":\"tracker\"", 0) != 0) continue;
        const int id = static_cast<int>(valueAfter(line, "id"));
        const bool predicted = id == 1;
        EXPECT_NE(line.find(predicted ? "\"processing\":\"predict 20 ms\"" : "\"processing\":\"filter 0.5 16\""),
                  std::string::npos)
            << line;
        EXPECT_NEAR(valueAfter(line, "standsFor"), valueAfter(line, "time") + (predicted ? 0.02 : 0), 1.5e-3) << line;
        const std::size_t rawAt = line.find("\"raw\":{");
        ASSERT_NE(rawAt, std::string::npos) << line;
        std::array<double, 6> pose;
        for (int i = 0; i < 6; ++i) pose[i] = valueAfter(line, names[i], rawAt);
        moved += predicted && std::fabs(valueAfter(line, "x") - pose[0]) > 1e-4;
        raw[id].push_back(pose);
    }
    ASSERT_GT(raw[1].size(), 100u);
    EXPECT_GT(moved, static_cast<int>(raw[1].size()) / 2) << "a moving sensor's predicted pose is not its own";
    EXPECT_GT(controllers, 0);

    std::map<int, std::size_t> next;
    for (const JsonRecord& record : jsonRecords(fileLines(recording))) {
        if (!record.tracker) continue;
        const std::size_t k = next[record.id]++;
        ASSERT_LT(k, raw[record.id].size());
        for (int i = 0; i < 6; ++i) EXPECT_NEAR(record.pose[i], raw[record.id][k][i], 1e-5) << k;
    }
    EXPECT_EQ(next[1], raw[1].size()) << "the record file holds the device's poses, every one";

    const std::vector<JsonRecord> recorded = jsonRecords(fileLines(recording));
    EXPECT_GT(rawSamples.size(), 100u) << "the DDS topic tracker1_raw";
    for (const auto& sample : rawSamples) {
        const auto distance = [&](const JsonRecord& candidate) {
            double sum = 0;
            for (int axis = 0; axis < 3; ++axis) sum += std::fabs(sample.second[axis] - candidate.pose[axis] * 0.3048);
            return sum;
        };
        const JsonRecord* record = recordAt(recorded, true, 1, sample.first, distance);
        ASSERT_NE(record, nullptr) << sample.first;
        EXPECT_LT(distance(*record), 3e-4) << "the device's own pose, in metres";
    }

    std::map<std::string, int> perPath;
    for (const OscMessage& message : received.messages) ++perPath[message.path];
    EXPECT_GT(perPath["/is900/tracker/1/raw"], 100);
    EXPECT_GT(perPath["/is900/tracker/2/raw"], 100);
    EXPECT_NEAR(perPath["/is900/tracker/1/raw"], perPath["/is900/tracker/1"], 2);
}

TEST(HostOutputs, DdsReaderReceivesPoseStampedAndJoyThatMatchThePublishedRecords) {
    const int domain = isolatedDomain();
    const std::string prefix = "is900test" + std::to_string(getpid());
    const dds_entity_t participant = dds_create_participant(domain, nullptr, nullptr);
    ASSERT_GT(participant, 0) << dds_strretcode(participant);
    const auto readerOf = [&](const dds_topic_descriptor_t* type, const std::string& name) {
        return keepAllReader(participant, type, "rt/" + prefix + "/" + name);
    };
    const dds_entity_t poses[2] = {readerOf(&geometry_msgs_msg_dds__PoseStamped__desc, "tracker1"),
                                   readerOf(&geometry_msgs_msg_dds__PoseStamped__desc, "tracker2")};
    const dds_entity_t joy = readerOf(&sensor_msgs_msg_dds__Joy__desc, "controller1");

    ChildProcess child({host, "--simulate", "-c", headAndWand, "--format", "jsonl", "--duration", "4", "-q", "--dds",
                        "--dds-domain", std::to_string(domain), "--dds-prefix", prefix, "--frame", "cave"});
    // The readers keep every sample until it is taken.
    const int status = child.waitForExit(30000);
    std::vector<PoseSample> poseSamples;
    std::vector<JoySample> joySamples;
    for (int id = 1; id <= 2; ++id)
        takeAll<geometry_msgs_msg_dds__PoseStamped_>(poses[id - 1], [&](const geometry_msgs_msg_dds__PoseStamped_& s) {
            poseSamples.push_back({id, stampOf(s.header), s.header.frame_id,
                                   {s.pose.position.x, s.pose.position.y, s.pose.position.z}, s.pose.orientation});
        });
    takeAll<sensor_msgs_msg_dds__Joy_>(joy, [&](const sensor_msgs_msg_dds__Joy_& s) {
        joySamples.push_back({stampOf(s.header), std::vector<float>(s.axes._buffer, s.axes._buffer + s.axes._length),
                              std::vector<int32_t>(s.buttons._buffer, s.buttons._buffer + s.buttons._length)});
    });
    dds_delete(participant);
    ASSERT_EQ(status, 0) << child.errors();
    const std::vector<JsonRecord> records = jsonRecords(child.outputLines());

    int perId[3] = {0, 0, 0};
    for (const PoseSample& sample : poseSamples) {
        EXPECT_EQ(sample.frameId, "cave");
        const JsonRecord* record = recordAt(records, true, sample.id, sample.stamp, [&](const JsonRecord& candidate) {
            double sum = 0;
            for (int axis = 0; axis < 3; ++axis) sum += std::fabs(sample.position[axis] - candidate.pose[axis] * 0.3048);
            return sum;
        });
        ASSERT_NE(record, nullptr) << "tracker " << sample.id << " at " << sample.stamp;
        ++perId[sample.id];
        for (int axis = 0; axis < 3; ++axis) EXPECT_NEAR(sample.position[axis], record->pose[axis] * 0.3048, 1e-4);
        // The rotation the quaternion stands for against the pipeline's matrix.
        const auto& q = sample.orientation;
        const double fromQuaternion[3][3] = {
            {1 - 2 * (q.y * q.y + q.z * q.z), 2 * (q.x * q.y + q.z * q.w), 2 * (q.x * q.z - q.y * q.w)},
            {2 * (q.x * q.y - q.z * q.w), 1 - 2 * (q.x * q.x + q.z * q.z), 2 * (q.y * q.z + q.x * q.w)},
            {2 * (q.x * q.z + q.y * q.w), 2 * (q.y * q.z - q.x * q.w), 1 - 2 * (q.x * q.x + q.y * q.y)}};
        double pipeline[3][3];
        orientationMatrix(record->pose[3], record->pose[4], record->pose[5], pipeline);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(fromQuaternion[r][c], pipeline[r][c], 1e-5);
    }
    for (const JoySample& sample : joySamples) {
        const JsonRecord* record = recordAt(records, false, 1, sample.stamp, [&](const JsonRecord& candidate) {
            double sum = 0;
            for (std::size_t i = 0; i < sample.axes.size() && i < candidate.valuators.size(); ++i)
                sum += std::fabs(sample.axes[i] - candidate.valuators[i]);
            return sum;
        });
        ASSERT_NE(record, nullptr) << "controller at " << sample.stamp;
        ASSERT_EQ(sample.buttons.size(), record->buttons.size());
        ASSERT_EQ(sample.axes.size(), record->valuators.size());
        for (std::size_t n = 0; n < sample.buttons.size(); ++n) EXPECT_EQ(sample.buttons[n], record->buttons[n]);
        for (std::size_t i = 0; i < sample.axes.size(); ++i) EXPECT_NEAR(sample.axes[i], record->valuators[i], 1e-6);
    }
    EXPECT_GT(perId[1], 0);
    EXPECT_GT(perId[2], 0);
    EXPECT_GT(joySamples.size(), 0u);
}

TEST(HostOutputs, ARecordingReplayedIntoASecondHostGivesThePosesBack) {
    const std::string recording = testing::TempDir() + "round-trip-" + std::to_string(getpid()) + ".jsonl";
    const std::vector<JsonRecord> first = jsonRecords(run(
        {host, "--simulate", "-c", headAndWand, "--format", "jsonl", "--duration", "10", "-q", "--record", recording},
        0));
    const std::vector<std::string> recorded = fileLines(recording);
    ASSERT_GT(recorded.size(), 1u);
    EXPECT_EQ(recorded[0], "{\"type\":\"recording\",\"version\":2,\"units\":\"inches\",\"cave\":true,\"stations\":["
                           "{\"station\":1,\"kind\":\"tracker\"},{\"station\":2,\"kind\":\"both\"}],\"options\":["
                           "[\"port\",\"/dev/ttyUSB0\"],[\"baud\",\"38400\"],[\"sensors\",\"1\",\"1\"],"
                           "[\"controllers\",\"0\",\"1\"],[\"valuatorscale\",\"2\",\"[0.7,0,0.3,0]\",\"all\"]]}");
    const std::vector<JsonRecord> recordedRecords = jsonRecords(recorded);
    EXPECT_EQ(recordedRecords.size(), first.size()) << "the record file holds every published record";

    ChildProcess tracker({"./is900-sim", "--replay", recording, "--quiet"});
    ASSERT_TRUE(tracker.waitForLine([](const std::string& line) { return line[0] == '/'; }, 5000));
    const std::string port = tracker.outputLines()[0];
    const std::vector<JsonRecord> second =
        jsonRecords(run({host, "-c", headAndWand, "--port", port, "--format", "jsonl", "--duration", "13", "-q",
                         "--silence", "20"},
                        0));
    tracker.sendSignal(SIGTERM);
    EXPECT_EQ(tracker.waitForExit(5000), 0);

    for (int id = 1; id <= 2; ++id) {
        std::vector<const JsonRecord*> before, after;
        for (const JsonRecord& record : first)
            if (record.tracker && record.id == id) before.push_back(&record);
        for (const JsonRecord& record : second)
            if (record.tracker && record.id == id) after.push_back(&record);
        ASSERT_GT(before.size(), 500u);
        ASSERT_EQ(after.size(), before.size()) << "tracker " << id;
        // Within the fixed-point step; angles near 180 degrees are floats
        // whose own step (1.5e-5) is coarser, and may differ by that too.
        for (std::size_t k = 0; k < before.size(); ++k)
            for (int i = 0; i < 6; ++i) {
                const float value = static_cast<float>(before[k]->pose[i]);
                const double floatStep = std::nextafter(std::fabs(value), 1e30f) - std::fabs(value);
                ASSERT_NEAR(after[k]->pose[i], before[k]->pose[i], 1.01e-5 + (floatStep > 1e-5 ? floatStep : 0))
                    << id << " " << k;
            }
    }
}

namespace {

const std::string configDir = HOST_CONFIG_DIR;

// A host in the background whose standard output goes nowhere: its records
// are in its record file. It runs until the test stops it (at most a minute).
std::unique_ptr<ChildProcess> recordingHost(const std::string& config, const std::string& recordFile,
                                            const std::string& device, const std::string& extra) {
    std::remove(recordFile.c_str()); // a file of an earlier run is not this host's progress
    return std::unique_ptr<ChildProcess>(new ChildProcess(
        {"/bin/sh", "-c",
         "exec " + host + " -c " + config + " --duration 60 -q --silence 20 --record " + recordFile +
             (device.empty() ? "" : " --record-device " + device) + " " + extra + " > /dev/null"}));
}

// Records of each kind and ID in the record file's complete lines so far.
std::map<std::pair<bool, int>, std::size_t> recordCounts(const std::string& path) {
    std::ifstream file(path);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::vector<std::string> lines;
    for (std::size_t begin = 0, end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1)
        lines.push_back(text.substr(begin, end - begin));
    std::map<std::pair<bool, int>, std::size_t> counts;
    for (const JsonRecord& record : jsonRecords(lines)) ++counts[{record.tracker, record.id}];
    return counts;
}

// Waits until the host's record file has enough, then ends the host in order.
void stopOnceRecorded(ChildProcess& recording, const std::string& path,
                      const std::function<bool(const std::map<std::pair<bool, int>, std::size_t>&)>& enough) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(50);
    while (!enough(recordCounts(path)) && std::chrono::steady_clock::now() < deadline)
        if (recording.waitForExit(100) != -1) return;
    recording.sendSignal(SIGINT);
}

// The configuration with its port lines, in order, replaced by these ports.
std::string withPorts(const std::string& config, const std::vector<std::string>& ports) {
    std::string text;
    std::size_t next = 0;
    for (const std::string& line : fileLines(config))
        text += (line.compare(0, 5, "port ") == 0 && next < ports.size() ? "port " + ports[next++] : line) + "\n";
    return text;
}

std::string simulatorPort(ChildProcess& simulator) {
    if (!simulator.waitForLine([](const std::string& line) { return line[0] == '/'; }, 5000)) return "";
    return simulator.outputLines()[0];
}

// Each ID's records in order, the same number of them, with the same values.
void expectSameRecords(const std::string& name, const std::vector<JsonRecord>& recorded,
                       const std::vector<JsonRecord>& replayed) {
    std::map<std::pair<bool, int>, std::vector<const JsonRecord*>> before, after;
    for (const JsonRecord& record : recorded) before[{record.tracker, record.id}].push_back(&record);
    for (const JsonRecord& record : replayed) after[{record.tracker, record.id}].push_back(&record);
    ASSERT_FALSE(before.empty()) << name;
    for (const auto& entry : before) {
        const std::string what = name + (entry.first.first ? " tracker " : " controller ") +
                                 std::to_string(entry.first.second);
        const std::vector<const JsonRecord*>& was = entry.second;
        const std::vector<const JsonRecord*>& is = after[entry.first];
        ASSERT_GT(was.size(), entry.first.first ? 100u : 0u) << what;
        ASSERT_EQ(is.size(), was.size()) << what;
        for (std::size_t k = 0; k < was.size(); ++k) {
            ASSERT_THAT(is[k]->pose, PoseNearWrapped(was[k]->pose, 1e-4, 1e-3)) << what << " #" << k;
            ASSERT_EQ(is[k]->buttons, was[k]->buttons) << what << " #" << k;
            ASSERT_EQ(is[k]->valuators.size(), was[k]->valuators.size()) << what << " #" << k;
            for (std::size_t v = 0; v < was[k]->valuators.size(); ++v)
                ASSERT_NEAR(is[k]->valuators[v], was[k]->valuators[v], 1e-3) << what << " #" << k;
        }
    }
}

} // namespace

// Every sample configuration recorded from the simulator, and its record
// file replayed by is900-sim through the same configuration, publishes the
// recorded values: the replay undoes units, CAVE coordinates, corrections,
// orders and valuator scales. A calibration library cannot be undone, and
// its recording is refused, pointing to the capture's replay. The runs of
// all configurations go side by side.
TEST(HostOutputs, EverySampleConfigurationReplaysToTheValuesItRecorded) {
    struct Sample {
        std::string name, device; // device: the one recorded, when the file has several
    };
    const std::vector<Sample> samples = {
        {"head-and-wand", ""}, {"cave-off", ""}, {"centimetres", ""}, {"two-rooms", "cave"}, {"calibration", ""}};
    // Named apart per process: other runs of these tests may share the folder.
    const std::string folder = testing::TempDir() + "samples-" + std::to_string(getpid()) + "-";
    std::vector<std::unique_ptr<ChildProcess>> runs;
    for (const Sample& sample : samples)
        runs.push_back(recordingHost(configDir + "/" + sample.name + ".cfg", folder + sample.name + ".jsonl",
                                     sample.device, "--simulate"));
    // Each recording ends once every tracker ID in it has 120 records.
    for (std::size_t i = 0; i < samples.size(); ++i)
        stopOnceRecorded(*runs[i], folder + samples[i].name + ".jsonl", [](const auto& counts) {
            std::size_t trackers = 0;
            for (const auto& count : counts) {
                if (!count.first.first) continue;
                if (count.second < 120) return false;
                ++trackers;
            }
            return trackers > 0;
        });
    for (std::size_t i = 0; i < samples.size(); ++i) ASSERT_EQ(runs[i]->waitForExit(60000), 0) << runs[i]->errors();

    ChildProcess calibration({"./is900-sim", "--replay", folder + "calibration.jsonl", "--quiet"});
    EXPECT_EQ(calibration.waitForExit(5000), 2);
    EXPECT_TRUE(contains(calibration.errors(), "cannot undo what the recorded device did to its samples: the "
                                               "calibration library libcalib_offset.so"))
        << calibration.errors();
    EXPECT_TRUE(contains(calibration.errors(), "replay that with --replay-capture")) << calibration.errors();

    std::vector<std::unique_ptr<ChildProcess>> trackers;
    runs.clear();
    for (std::size_t i = 0; i + 1 < samples.size(); ++i) {
        const Sample& sample = samples[i];
        trackers.emplace_back(new ChildProcess({"./is900-sim", "--replay", folder + sample.name + ".jsonl", "--quiet"}));
        std::vector<std::string> ports = {simulatorPort(*trackers.back())};
        if (sample.device == "cave") { // the other device streams from a simulator of its own
            trackers.emplace_back(new ChildProcess({"./is900-sim", "--quiet"}));
            ports.push_back(simulatorPort(*trackers.back()));
        }
        const std::string config =
            writeTempFile(sample.name + "-replayed.cfg", withPorts(configDir + "/" + sample.name + ".cfg", ports));
        // The replay starts with the streaming set-up.
        runs.push_back(recordingHost(config, folder + sample.name + "-replayed.jsonl", sample.device, ""));
    }
    // Each replaying host ends once it has as many records of each ID as were recorded.
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const auto recorded = recordCounts(folder + samples[i].name + ".jsonl");
        stopOnceRecorded(*runs[i], folder + samples[i].name + "-replayed.jsonl", [&](const auto& counts) {
            for (const auto& count : recorded)
                if (counts.count(count.first) == 0 || counts.at(count.first) < count.second) return false;
            return true;
        });
    }
    for (std::size_t i = 0; i < runs.size(); ++i) EXPECT_EQ(runs[i]->waitForExit(60000), 0) << runs[i]->errors();
    for (const std::unique_ptr<ChildProcess>& tracker : trackers) tracker->sendSignal(SIGTERM);
    for (std::size_t i = 0; i + 1 < samples.size(); ++i)
        expectSameRecords(samples[i].name, jsonRecords(fileLines(folder + samples[i].name + ".jsonl")),
                          jsonRecords(fileLines(folder + samples[i].name + "-replayed.jsonl")));
}

namespace {

// Keeps every sample until it is taken, as the edges' writer sends them.
dds_entity_t reliableReader(dds_entity_t participant, const dds_topic_descriptor_t* type, const std::string& name) {
    dds_qos_t* qos = dds_create_qos();
    dds_qset_reliability(qos, DDS_RELIABILITY_RELIABLE, DDS_SECS(1));
    dds_qset_history(qos, DDS_HISTORY_KEEP_ALL, 0);
    const dds_entity_t topic = dds_create_topic(participant, type, name.c_str(), nullptr, nullptr);
    const dds_entity_t reader = dds_create_reader(participant, topic, qos, nullptr);
    dds_delete_qos(qos);
    return reader;
}

// Waits until the reader has matched a writer, or 10 s.
bool matched(dds_entity_t participant, dds_entity_t reader) {
    dds_set_status_mask(reader, DDS_SUBSCRIPTION_MATCHED_STATUS);
    const dds_entity_t waitset = dds_create_waitset(participant);
    dds_waitset_attach(waitset, reader, reader);
    dds_subscription_matched_status_t status{};
    const dds_time_t deadline = dds_time() + DDS_SECS(10);
    while (dds_get_subscription_matched_status(reader, &status) == DDS_RETCODE_OK && status.current_count == 0 &&
           dds_time() < deadline)
        dds_waitset_wait_until(waitset, nullptr, 0, deadline);
    dds_delete(waitset);
    return status.current_count > 0;
}

} // namespace

// One batch of controller records, three times what the hub sends through
// at once, each pressing or releasing button 1: every edge is published,
// numbered from 1 without a gap, although most of the Joy samples are dropped.
TEST(HostOutputs, EveryButtonEdgeOfABurstLargerThanABatchIsPublished) {
    const int domain = isolatedDomain();
    const std::string prefix = "is900edges" + std::to_string(getpid());
    const dds_entity_t participant = dds_create_participant(domain, nullptr, nullptr);
    ASSERT_GT(participant, 0) << dds_strretcode(participant);
    const dds_entity_t reader = reliableReader(participant, &is900_dds_ButtonEvent_desc, "rt/" + prefix + "/buttons");

    DdsSettings settings;
    settings.domain = domain;
    settings.prefix = prefix;
    DdsDevice wand;
    wand.name = "wand";
    wand.controllers.push_back({1, 2, 0, 0, {}});
    settings.devices.push_back(wand);
    OutputHub hub;
    hub.add(std::unique_ptr<Output>(new DdsOutput(settings)));
    ASSERT_TRUE(matched(participant, reader));

    const std::size_t burst = 3 * OutputHub::lossyQueueLength;
    std::vector<RecordView> records(burst);
    for (std::size_t n = 0; n < burst; ++n) {
        records[n].kind = RecordKind::controller;
        records[n].id = 1;
        records[n].station = 2;
        records[n].buttons = {n % 2 == 0, false};
    }
    hub.publish("wand", std::move(records));
    hub.close();
    EXPECT_GT(hub.counts()[0].dropped, 0u) << "the burst is larger than a batch";

    std::vector<uint64_t> serials;
    const dds_entity_t waitset = dds_create_waitset(participant);
    const dds_entity_t arrived = dds_create_readcondition(reader, DDS_ANY_STATE);
    dds_waitset_attach(waitset, arrived, arrived);
    const dds_time_t deadline = dds_time() + DDS_SECS(10);
    while (serials.size() < burst && dds_waitset_wait_until(waitset, nullptr, 0, deadline) > 0)
        takeAll<is900_dds_ButtonEvent>(reader, [&](const is900_dds_ButtonEvent& edge) {
            EXPECT_EQ(edge.pressed, serials.size() % 2 == 0) << "edge " << edge.serial;
            serials.push_back(edge.serial);
        });
    dds_delete(participant);
    ASSERT_EQ(serials.size(), burst);
    for (std::size_t n = 0; n < burst; ++n) ASSERT_EQ(serials[n], n + 1);
}
