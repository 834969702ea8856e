// The device's capture of its line: option problems and a file that cannot
// be made end init; a session with faults, captured and played back by the
// simulator at two speeds, publishes the same records in the same order and
// shows the device the same bytes and read time-outs; a kept capture of such
// a session replays to the records it published.
#include "DeviceRig.h"

#include "common/CoutCapture.h"
#include "sim/CaptureFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

const std::vector<Station> stations = {{1, is900sim::StationKind::tracker}, {2, is900sim::StationKind::both}};

std::string temporaryPath(const std::string& name) {
    return std::string(::testing::TempDir()) + "/" + std::to_string(getpid()) + "-" + name;
}

// From the build, not __FILE__: a compiler cache with a base folder makes
// __FILE__ relative to the build folder, not to where the test runs.
std::string keptCaptureFolder() { return DEVICE_CAPTURES_DIR; }

// The device's configuration in both sessions: tracker station 1, station 2
// tracker and controller, no CAVE alignment (no waits), the line captured.
void configure(DeviceRig& rig, const std::string& capturePath) {
    rig.lines.add("controllers", {"0", "1"}).add("cavecoord", {"off"}).add("capture", {capturePath});
}

// What the host found, in the order published, without time stamps.
struct Published {
    std::vector<std::string> lines;
    std::size_t seenTrackers[33] = {};
    std::size_t seenControllers[33] = {};

    void collect(DeviceRig& rig) {
        for (uint32_t id = 1; id <= 32; ++id) {
            for (; seenTrackers[id] < rig.publishedTrackers[id].size(); ++seenTrackers[id]) {
                const TraData& r = rig.publishedTrackers[id][seenTrackers[id]];
                std::ostringstream line;
                line << "T " << id << " " << r.x << " " << r.y << " " << r.z << " " << r.azim << " " << r.elev << " "
                     << r.roll;
                lines.push_back(line.str());
            }
            for (; seenControllers[id] < rig.publishedControllers[id].size(); ++seenControllers[id]) {
                const ConData& r = rig.publishedControllers[id][seenControllers[id]];
                std::ostringstream line;
                line << "C " << id << " " << r.val[0] << " " << r.val[1] << " " << r.butBytes;
                lines.push_back(line.str());
            }
        }
    }
};

// The tracker's side as the device saw it: the bytes it read, and the read
// time-outs before its last read.
struct LineSeen {
    std::string bytes;
    unsigned timeouts = 0;
};

LineSeen lineSeen(const std::string& path) {
    const is900sim::Capture capture = is900sim::readCapture(path);
    LineSeen seen;
    unsigned pending = 0;
    for (const is900sim::CaptureChunk& chunk : capture.chunks) {
        if (chunk.kind == 'T') ++pending;
        if (chunk.kind != 'R') continue;
        seen.bytes.append(chunk.bytes.begin(), chunk.bytes.end());
        seen.timeouts += pending;
        pending = 0;
    }
    return seen;
}

void startStreaming(DeviceRig& rig) {
    ASSERT_EQ(1, rig.init());
    ASSERT_GT(rig.device()->configure(), 0);
    rig.device()->start();
}

// Streams with garbage, a truncated record, CR LF inside a float and two
// seconds of silence, and returns what was published.
Published captureSessionWithFaults(const std::string& capturePath) {
    DeviceRig rig(stations);
    configure(rig, capturePath);
    Published published;
    CoutCapture quiet;
    startStreaming(rig);
    is900sim::Simulator& sim = rig.simulator();
    Clock::time_point silenceAt{};
    for (int call = 1; silenceAt == Clock::time_point() || Clock::now() - silenceAt < std::chrono::milliseconds(2600);
         ++call) {
        if (call == 30) sim.injectGarbage({'x', 0x0D, '0', 0x0A, 0xFF});
        if (call == 60) sim.truncateNextRecord(10);
        if (call == 90) sim.forceCrLfInNextRecord();
        if (call == 120) sim.silence(2000), silenceAt = Clock::now();
        EXPECT_EQ(1, rig.receive());
        published.collect(rig);
    }
    rig.device()->stop();
    return published;
}

Published replay(const std::string& capturePath, double speed, std::size_t expected, const std::string& replayCapture) {
    is900sim::SimulatorOptions options;
    options.capture = std::make_shared<is900sim::Capture>(is900sim::readCapture(capturePath));
    options.captureSpeed = speed;
    is900sim::Simulator tracker(options);
    EXPECT_TRUE(tracker.start());
    DeviceRig rig(stations);
    configure(rig, replayCapture);
    rig.lines.add("port", {tracker.slavePath()});
    Published published;
    CoutCapture quiet;
    startStreaming(rig);
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(12);
    while (published.lines.size() < expected && Clock::now() < deadline) {
        rig.receive();
        published.collect(rig);
    }
    // Anything more that arrives would be a record the original never published.
    for (const Clock::time_point end = Clock::now() + std::chrono::milliseconds(300); Clock::now() < end;) {
        rig.receive();
        published.collect(rig);
    }
    rig.device()->stop();
    return published;
}

std::vector<std::string> textLines(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// A capture as it is kept in the tree: the header names the port "tracker"
// and the file "faults.is900cap" instead of this run's pseudo-terminal and
// temporary path, which a replay takes from elsewhere. The chunks stay as
// they were.
std::string keptForm(const std::string& capture) {
    const std::size_t headerEnd = capture.find('\n');
    std::istringstream fields(capture.substr(0, headerEnd));
    std::string header;
    for (std::string field; std::getline(fields, field, '\t');) {
        if (field.rfind("port=", 0) == 0) field = "port=tracker";
        if (field.rfind("option=port ", 0) == 0) field = "option=port tracker";
        if (field.rfind("option=capture ", 0) == 0) field = "option=capture faults.is900cap";
        header += (header.empty() ? "" : "\t") + field;
    }
    return header + capture.substr(headerEnd);
}

} // namespace

struct CaptureOptionCase {
    std::vector<std::string> args;
    const char* problem;
};

class DeviceCaptureOption : public ::testing::TestWithParam<CaptureOptionCase> {};

TEST_P(DeviceCaptureOption, ProblemsEndInit) {
    DeviceRig rig(stations);
    rig.lines.add("capture", GetParam().args);
    CoutCapture out;
    EXPECT_EQ(-1, rig.init());
    EXPECT_NE(std::string::npos, out.text().find(std::string(GetParam().problem) + "Capture at line 3.")) << out.text();
}

INSTANTIATE_TEST_SUITE_P(Problems, DeviceCaptureOption,
                         ::testing::Values(CaptureOptionCase{{}, "Incomplete option line found for "},
                                           CaptureOptionCase{{"x.is900cap", "0"}, "Invalid arg found for "},
                                           CaptureOptionCase{{"x.is900cap", "1", "2"}, "Too many args found for "}));

TEST(DeviceCapture, AFileThatCannotBeMadeEndsInit) {
    const std::string path = "/nonexistent-folder/x.is900cap";
    DeviceRig rig(stations);
    rig.lines.add("capture", {path});
    CoutCapture out;
    EXPECT_EQ(-1, rig.init());
    EXPECT_NE(std::string::npos, out.text().find(path + ": No such file or directory")) << out.text();
    EXPECT_FALSE(exists(path));
}

TEST(DeviceCapture, ASessionWithFaultsReplaysToTheSameRecordsAtSpeedsOneAndFour) {
    const std::string original = temporaryPath("session.is900cap");
    const Published session = captureSessionWithFaults(original);
    ASSERT_GT(session.lines.size(), 100u);
    const LineSeen seen = lineSeen(original);
    // Two seconds of silence: one read time-out, or two when the second ran out just before the silence ended.
    EXPECT_GE(seen.timeouts, 1u);
    for (double speed : {1.0, 4.0}) {
        const std::string again = temporaryPath("replayed.is900cap");
        const Published replayed = replay(original, speed, session.lines.size(), again);
        EXPECT_EQ(session.lines, replayed.lines) << "at speed " << speed;
        const LineSeen seenAgain = lineSeen(again);
        EXPECT_EQ(seen.bytes, seenAgain.bytes) << "at speed " << speed;
        EXPECT_EQ(seen.timeouts, seenAgain.timeouts) << "at speed " << speed;
        std::remove(again.c_str());
    }
    // IS900_KEEP_CAPTURE=1 renews the kept session below from this one; then
    // fuzz/capture-to-seed.py renews the record stream target's seed from it.
    if (std::getenv("IS900_KEEP_CAPTURE")) {
        std::ifstream from(original, std::ios::binary);
        const std::string capture{std::istreambuf_iterator<char>(from), std::istreambuf_iterator<char>()};
        std::ofstream(keptCaptureFolder() + "/faults.is900cap", std::ios::binary) << keptForm(capture);
        std::ofstream records(keptCaptureFolder() + "/faults.published");
        for (const std::string& line : session.lines) records << line << "\n";
    }
    std::remove(original.c_str());
}

TEST(DeviceCapture, TheKeptSessionWithFaultsReplaysToWhatItPublished) {
    const std::string kept = keptCaptureFolder() + "/faults.is900cap";
    const std::vector<std::string> expected = textLines(keptCaptureFolder() + "/faults.published");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ("tracker", is900sim::readCapture(kept).port);
    const std::string again = temporaryPath("kept-replayed.is900cap");
    EXPECT_EQ(expected, replay(kept, 8.0, expected.size(), again).lines);
    EXPECT_EQ(lineSeen(kept).bytes, lineSeen(again).bytes);
    std::remove(again.c_str());
}
