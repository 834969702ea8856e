// The host's JSON lines piped into a reader that stops reading without
// leaving (a paused pager): a stop signal still stops the tracker in order
// and the host ends, with 0 at one signal and 130 at two.
#include "common/ChildProcess.h"

#include "sim/Simulator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const std::string host = "./is900-host";

// Continuous output stopped ('c' after the last 'C'), then every station's
// alignment reset and restored, the last command of all.
bool endsWithTheStopSequence(const std::vector<std::string>& commands) {
    std::size_t streamOn = commands.size();
    for (std::size_t n = 0; n < commands.size(); ++n)
        if (commands[n] == "C") streamOn = n;
    if (streamOn + 18 > commands.size() || commands[streamOn + 1] != "c") return false;
    for (int station = 1; station <= 8; ++station)
        if (commands[streamOn + 1 + station] != "R" + std::to_string(station)) return false;
    for (int station = 1; station <= 8; ++station)
        if (commands[streamOn + 9 + station] != "A" + std::to_string(station) + ",0,0,0,200,0,0,0,200,0") return false;
    return streamOn + 18 == commands.size();
}

// The simulator takes commands on its own thread: the last ones may come in
// after the host has ended. Waits for each next command while they do.
std::vector<std::string> commandsOnceStopped(const is900sim::Simulator& tracker) {
    std::vector<std::string> commands = tracker.commandLog();
    while (!endsWithTheStopSequence(commands) && tracker.waitForCommands(commands.size() + 1, 5000))
        commands = tracker.commandLog();
    return commands;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + ' ';
    return text;
}

// A host streaming into a pipe that has filled, from a simulator of the
// test's own that keeps every command it gets, however the host ends. The
// pipe holds one page, some 30 lines.
struct StalledHost {
    std::string link = testing::TempDir() + "paused-reader-port-" + std::to_string(getpid());
    std::unique_ptr<is900sim::Simulator> tracker;
    std::unique_ptr<ChildProcess> child;

    StalledHost() {
        is900sim::SimulatorOptions options;
        options.stations = {{1, is900sim::StationKind::tracker}, {2, is900sim::StationKind::both}};
        options.linkPath = link;
        tracker.reset(new is900sim::Simulator(options));
        EXPECT_TRUE(tracker->start()) << tracker->errorText();
        const std::string config = writeTempFile("paused-reader.cfg", "port " + link + "\nsensors 1 1\ncontrollers 0 1\n");
        child.reset(new ChildProcess({host, "-c", config, "--format", "jsonl"}));
        child->pauseOutput();
    }

    // Records for several pipes' worth of lines have gone to the host.
    bool fillsThePipe() {
        return child->waitUntil([this] { return tracker->recordsSent() >= 200; }, 20000);
    }
};

} // namespace

TEST(PausedReader, AStopSignalStopsTheTrackerAndTheHostEndsWithoutTheReader) {
    StalledHost stalled;
    ChildProcess& child = *stalled.child;
    ASSERT_TRUE(stalled.fillsThePipe()) << child.errors();
    child.sendSignal(SIGINT);
    EXPECT_EQ(child.waitForExit(10000), 0) << child.errors();
    const std::vector<std::string> commands = commandsOnceStopped(*stalled.tracker);
    EXPECT_TRUE(endsWithTheStopSequence(commands)) << joined(commands);
    EXPECT_TRUE(contains(child.errors(), "standard output: the reader took no line for 1 s")) << child.errors();
}

// A second SIGINT once the host has taken the first (the same signal twice
// before that counts as one), and a SIGTERM together with the SIGINT: both
// come before the stop sequence has gone out, the second case always.
TEST(PausedReader, ASecondStopSignalEndsTheHostWith130AfterTheStopSequence) {
    struct Second {
        std::string name;
        int signalNumber;
        bool afterTheFirstIsTaken;
    };
    for (const Second& second : {Second{"sigint-twice", SIGINT, true}, Second{"sigint-sigterm", SIGTERM, false}}) {
        SCOPED_TRACE(second.name);
        StalledHost stalled;
        ChildProcess& child = *stalled.child;
        ASSERT_TRUE(stalled.fillsThePipe()) << child.errors();
        child.sendSignal(SIGINT);
        if (second.afterTheFirstIsTaken) {
            ASSERT_TRUE(child.waitUntil([&] { return !child.signalPending(); }, 5000));
        }
        child.sendSignal(second.signalNumber);
        EXPECT_EQ(child.waitForExit(10000), 130) << child.errors();
        const std::vector<std::string> commands = commandsOnceStopped(*stalled.tracker);
        EXPECT_TRUE(endsWithTheStopSequence(commands)) << joined(commands);
    }
}
