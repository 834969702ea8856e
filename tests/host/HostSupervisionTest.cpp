// The host keeps its devices running: a port that appears late, a device
// unplugged and brought back while another one streams on, and device
// sections that the host refuses.
#include "common/ChildProcess.h"

#include "is900/hostkit/RecordSchema.h"
#include "sim/Simulator.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <unistd.h>

namespace {

const std::string host = "./is900-host";


std::string tempPath(const std::string& name) { return testing::TempDir() + name + "-" + std::to_string(getpid()); }


std::unique_ptr<is900sim::Simulator> trackerBehind(const std::string& link, std::vector<int> stations) {
    is900sim::SimulatorOptions options;
    options.stations.clear();
    for (int station : stations) options.stations.push_back({station, is900sim::StationKind::tracker});
    options.linkPath = link;
    std::unique_ptr<is900sim::Simulator> tracker(new is900sim::Simulator(options));
    EXPECT_TRUE(tracker->start()) << tracker->errorText();
    return tracker;
}

// A published record's ID and device, or a status line's state and device.
struct Line {
    std::string type, device, state;
    int id = 0;
    double time = 0;
};

// The host's JSON line as the kit reads it; the type stays empty for other output.
Line lineOf(const std::string& text) {
    using namespace is900::hostkit;
    Line line;
    if (text.empty() || text[0] != '{') return line;
    const JsonLine read = readJsonLine(text);
    if (read.type == LineType::status) {
        line.type = "status";
        line.device = read.status.device;
        line.state = read.status.state;
        line.time = read.status.time;
    } else if (read.type == LineType::record) {
        line.type = read.record.kind == RecordKind::tracker ? "tracker" : "controller";
        line.device = read.record.device;
        line.id = static_cast<int>(read.record.id);
        line.time = read.record.stamp;
    }
    return line;
}

std::vector<Line> jsonLines(const ChildProcess& child) {
    std::vector<Line> lines;
    for (const std::string& text : child.outputLines())
        if (!lineOf(text).type.empty()) lines.push_back(lineOf(text));
    return lines;
}

double wallClock() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

} // namespace

TEST(HostSupervision, APortThatAppearsLaterIsWaitedForUntilItStreams) {
    const std::string link = tempPath("is900-late-port");
    std::remove(link.c_str());
    const std::string config = writeTempFile("late.cfg", "port " + link + "\nsensors 1\ncavecoord off\n");
    ChildProcess child({host, "-c", config, "--format", "jsonl", "--quiet", "--duration", "30"});
    // The port appears once the host has found it missing and waits to try again.
    ASSERT_TRUE(child.waitForLine([](const std::string& line) { return contains(line, "\"state\":\"reconnecting\""); },
                                  15000))
        << child.errors();
    auto tracker = trackerBehind(link, {1});
    EXPECT_TRUE(child.waitForLine([](const std::string& line) { return contains(line, "\"type\":\"tracker\""); },
                                  15000))
        << child.errors();
    child.sendSignal(SIGINT);
    EXPECT_EQ(child.waitForExit(10000), 0) << child.errors();
    EXPECT_TRUE(contains(child.errors(), "is900-host: device 'is900': cannot open port " + link)) << child.errors();

    std::vector<std::string> states;
    for (const Line& line : jsonLines(child))
        if (line.type == "status") states.push_back(line.state);
    ASSERT_GE(states.size(), 4u);
    EXPECT_EQ(states[0], "starting");
    EXPECT_EQ(states[1], "reconnecting") << "the port is missing at the first attempt";
    EXPECT_EQ(states[2], "starting");
    EXPECT_EQ(states[states.size() - 2], "streaming");
    EXPECT_EQ(states.back(), "stopped");
}

TEST(HostSupervision, AnUnpluggedDeviceIsBroughtBackWithItsIdsWhileTheOtherStreams) {
    const std::string headLink = tempPath("is900-head"), wandLink = tempPath("is900-second");
    auto head = trackerBehind(headLink, {1, 2});
    auto second = trackerBehind(wandLink, {1});
    const std::string config = writeTempFile(
        "two-devices.cfg", "# two trackers\n[device head]\nport " + headLink +
                               "\nsensors 1 1\ncavecoord off\n\n[device second]  # another room\nport " + wandLink +
                               "\nsensors 1\ncavecoord off\nreconnect off\n");
    ChildProcess child({host, "-c", config, "--format", "jsonl", "--quiet", "--silence", "3"});
    std::set<std::string> seen;
    ASSERT_TRUE(child.waitForLine(
        [&](const std::string& line) {
            if (lineOf(line).type == "tracker") seen.insert(lineOf(line).device);
            return seen.size() == 2;
        },
        15000))
        << child.errors();

    const double unplugged = wallClock();
    head->unplug(3000);
    // The head may be lost before its first streaming state is told (the
    // unplug follows its first record), so its return is what comes after
    // the reconnecting state.
    bool headReconnecting = false, headStreamingAgain = false;
    EXPECT_TRUE(child.waitForLine(
        [&](const std::string& line) {
            const Line read = lineOf(line);
            if (read.device != "head") return false;
            if (read.state == "reconnecting") headReconnecting = true;
            if (headReconnecting && read.state == "streaming") headStreamingAgain = true;
            return headStreamingAgain && read.type == "tracker";
        },
        20000))
        << "the head is brought up again and publishes\n"
        << child.errors() << child.output().substr(child.output().size() > 3000 ? child.output().size() - 3000 : 0);
    child.sendSignal(SIGTERM);
    EXPECT_EQ(child.waitForExit(15000), 0) << child.errors();

    int secondDuringOutage = 0, headAfterReturn = 0;
    bool reconnecting = false;
    for (const Line& line : jsonLines(child)) {
        if (line.type == "status" && line.device == "head" && line.state == "reconnecting") reconnecting = true;
        if (line.type != "tracker") continue;
        if (line.device == "head") {
            EXPECT_TRUE(line.id == 1 || line.id == 2) << line.id;
            if (line.time > unplugged + 3.0) ++headAfterReturn;
        } else {
            EXPECT_EQ(line.device, "second");
            EXPECT_EQ(line.id, 3);
            if (line.time > unplugged + 0.5 && line.time < unplugged + 3.0) ++secondDuringOutage;
        }
    }
    EXPECT_TRUE(reconnecting);
    EXPECT_GT(secondDuringOutage, 100) << "the second device streams on while the first is away";
    EXPECT_GT(headAfterReturn, 0);
    EXPECT_TRUE(contains(child.errors(), "is900-host: error: device 'head': ")) << child.errors();
}

TEST(HostSupervision, PortAndNameFlagsAreRefusedWithDeviceSections) {
    const std::string twoDevices = writeTempFile("sections.cfg", "[device a]\nsensors 1\n[device b]\nsensors 1\n");
    for (const char* flag : {"--port", "--name"}) {
        ChildProcess child({host, "-c", twoDevices, flag, "x"});
        EXPECT_EQ(child.waitForExit(10000), 2) << child.errors();
        EXPECT_TRUE(contains(child.errors(), std::string(flag) + " names one device, but " + twoDevices +
                                                 " has device sections"))
            << child.errors();
    }
}

// A device with reconnect on recovers from silence by itself: the host's
// --silence is not its concern, and nothing warns about it.
TEST(HostSupervision, ADeviceThatRecoversByItselfIsLeftItsSilenceAndAPortNeverSeenFailsTheRun) {
    const std::string config =
        writeTempFile("short-silence.cfg", "[device a]\nport /no/such/tty\nreconnect on 3\n");
    ChildProcess child({host, "-c", config, "--silence", "5", "--duration", "2", "--format", "jsonl"});
    EXPECT_EQ(child.waitForExit(15000), 4) << child.errors();
    EXPECT_FALSE(contains(child.errors(), "warning")) << child.errors();
    EXPECT_TRUE(contains(child.errors(), "device 'a' could not be initialised (port /no/such/tty); it never came up"))
        << child.errors();
    EXPECT_TRUE(contains(child.output(), "{\"type\":\"status\",\"device\":\"a\",\"state\":\"reconnecting\",\"attempt\":2,"
                                         "\"retry_in\":1,\"time\":"))
        << child.output();
}

// A port that opens but stays silent: the device is up but not streaming,
// then brought up anew; standard error and the status lines count alike.
TEST(HostSupervision, ASilentPortIsCalledSilentAndThenBroughtUpAgain) {
    SilentPort port;
    ASSERT_FALSE(port.path().empty());
    ChildProcess child({host, "--port", port.path(), "--silence", "3", "--format", "jsonl", "-q"});
    EXPECT_TRUE(child.waitForLine([](const std::string& line) { return contains(line, "\"state\":\"reconnecting\""); },
                                  15000))
        << child.errors();
    child.sendSignal(SIGTERM);
    EXPECT_EQ(child.waitForExit(10000), 0) << child.errors();
    std::vector<std::string> states;
    for (const Line& line : jsonLines(child))
        if (line.type == "status") states.push_back(line.state);
    const std::vector<std::string> expected{"starting", "silent", "reconnecting"};
    ASSERT_GE(states.size(), 3u) << child.output();
    EXPECT_EQ(std::vector<std::string>(states.begin(), states.begin() + 3), expected) << child.output();
    EXPECT_EQ(states.back(), "stopped");
    EXPECT_TRUE(contains(child.output(), "\"state\":\"reconnecting\",\"attempt\":2,\"retry_in\":1,")) << child.output();
    EXPECT_TRUE(contains(child.errors(), "for 3 seconds; attempt 2 in 1 s")) << child.errors();
}
