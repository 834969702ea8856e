// Runs is900-host as its own process, the way a user does.
#include "common/ChildProcess.h"

#include "is900/hostkit/RecordSchema.h"
#include "sim/Simulator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <dirent.h>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <unistd.h>

namespace {

const std::string host = "./is900-host";
const std::string headAndWand = std::string(HOST_CONFIG_DIR) + "/head-and-wand.cfg";


struct Published {
    std::string type;
    int id = 0, station = 0;
    double pose[6] = {0, 0, 0, 0, 0, 0};
    std::string buttons;
};

// Reads the host's own JSON lines; other lines on stdout are the device's log.
bool parsePublished(const std::string& line, Published& record) {
    if (line.empty() || line[0] != '{') return false;
    char type[16] = {};
    if (std::sscanf(line.c_str(), "{\"type\":\"%15[a-z]\",\"id\":%d,\"station\":%d", type, &record.id,
                    &record.station) != 3)
        return false;
    record.type = type;
    if (record.type == "tracker")
        return std::sscanf(line.c_str() + line.find("\"x\""), "\"x\":%lf,\"y\":%lf,\"z\":%lf,\"azim\":%lf,\"elev\":%lf,\"roll\":%lf",
                           &record.pose[0], &record.pose[1], &record.pose[2], &record.pose[3], &record.pose[4],
                           &record.pose[5]) == 6;
    const std::size_t start = line.find("\"buttons\":[");
    if (start == std::string::npos) return false;
    record.buttons = line.substr(start + 11, line.find(']', start) - start - 11);
    return true;
}

std::vector<Published> publishedRecords(const ChildProcess& child) {
    std::vector<Published> records;
    for (const std::string& line : child.outputLines()) {
        Published record;
        if (parsePublished(line, record)) records.push_back(record);
        else
            EXPECT_TRUE(line[0] != '{' || contains(line, "{\"type\":\"status\"") || contains(line, "{\"type\":\"quality\""))
                << "unreadable JSON line: " << line;
    }
    return records;
}



struct BadRun {
    std::vector<std::string> args;
    int status;
    std::string message;
};

} // namespace

TEST(HostProcess, BadInputGivesOneClearMessageAndAFailureStatus) {
    const std::string unterminated = writeTempFile("host-bad.cfg", "sensors 1\nport \"/dev/tty S0\n");
    const std::string unknownOption = writeTempFile("host-unknown.cfg", "sensors 1\nnosuchoption 1\n");
    std::string fullLines;
    for (int i = 0; i < 32; ++i) fullLines += "reset no\n";
    const std::string full = writeTempFile("host-full.cfg", fullLines);
    const std::string newerCapture = writeTempFile("host-v2.is900cap", "is900-capture\t2\tport=x\n");
    const std::string backwards = writeTempFile(
        "host-back.is900cap", std::string("is900-capture\t1\tport=x\n") + std::string("T\x09\0\0\0\0\0\0\0\0\0\0\0", 13) +
                                  std::string("T\x08\0\0\0\0\0\0\0\0\0\0\0", 13));
    const std::vector<BadRun> runs = {
        {{"--plugin", "./no-such-plugin.so"}, 3, "cannot load the plug-in library './no-such-plugin.so'"},
        {{"--plugin", HOST_TEST_NO_EXPORTS_FILE}, 3, "it does not export createDev and deleteDev"},
        {{"--plugin", headAndWand}, 3, "cannot load the plug-in library '" + headAndWand + "'"},
        {{"-c", "/no/such/file.cfg"}, 2, "cannot read configuration file '/no/such/file.cfg'"},
        {{"-c", unterminated}, 2, unterminated + ":2: unterminated double quote"},
        {{"--port", "/no/such/tty", "--duration", "5"}, 4, "could not be initialised (port /no/such/tty)"},
        {{"-c", testing::TempDir()}, 2, "cannot read configuration file '" + testing::TempDir() + "': it is a folder"},
        {{"--duration", "5s"}, 2, "--duration: takes a number of seconds greater than 0, not '5s'"},
        {{"--silence", "0"}, 2, "--silence: takes a number of seconds greater than 0, not '0'"},
        {{"--debug", "-1"}, 2, "--debug: takes a whole number, 0 or more, not '-1'"},
        {{"--simulate", "--sim-log", "/no/such/folder/commands.log"}, 7, "cannot write /no/such/folder/commands.log"},
        {{"-c", full, "--capture", testing::TempDir()}, 2, "no room for the capture option"},
        {{"--replay-capture", newerCapture}, 2, "capture format version 2; this program reads version 1"},
        {{"--replay-capture", backwards}, 2, backwards + ": byte offset 36: time stamp goes backwards"},
        // -q silences the plug-in, but not the errors of a failing init.
        {{"--simulate", "-q", "-c", unknownOption}, 4, "is900: ERROR: "},
    };
    for (const BadRun& run : runs) {
        std::vector<std::string> command{host};
        command.insert(command.end(), run.args.begin(), run.args.end());
        ChildProcess child(command);
        EXPECT_EQ(child.waitForExit(20000), run.status) << run.message << "\n" << child.errors();
        EXPECT_TRUE(contains(child.errors(), run.message)) << child.errors();
        EXPECT_FALSE(contains(child.output(), "{\"type\":\"tracker\"") ||
                     contains(child.output(), "{\"type\":\"controller\""))
            << run.message;
    }

    ChildProcess usage({host, "--format", "xml"});
    EXPECT_GT(usage.waitForExit(5000), 0);
}

TEST(HostProcess, WithOnceATrackerThatStopsSendingEndsTheRunWithAnError) {
    SilentPort port;
    ASSERT_FALSE(port.path().empty());
    const std::string slave = port.path();
    ChildProcess silent({host, "--port", slave, "--silence", "2", "--format", "jsonl", "--once"});
    EXPECT_EQ(silent.waitForExit(20000), 6) << silent.errors();
    EXPECT_TRUE(contains(silent.errors(), "no record from the tracker on " + slave + " for 2 seconds"))
        << silent.errors();

    is900sim::Simulator tracker;
    ASSERT_TRUE(tracker.start()) << tracker.errorText();
    ChildProcess hungUp({host, "--port", tracker.slavePath(), "--silence", "2", "--format", "jsonl", "--once"});
    ASSERT_TRUE(hungUp.waitForLine([](const std::string& line) { return contains(line, "{\"type\":\"tracker\""); },
                                   20000));
    tracker.hangUp();
    EXPECT_EQ(hungUp.waitForExit(20000), 6) << hungUp.errors();
    EXPECT_TRUE(contains(hungUp.errors(), "the device ended reception") ||
                contains(hungUp.errors(), "no record from the tracker on"))
        << hungUp.errors();
}

TEST(HostProcess, StreamsPlausiblePosesAndButtonChangesFromTheSimulator) {
    ChildProcess child({host, "--simulate", "--format", "jsonl", "--duration", "3", "-c", headAndWand});
    ASSERT_EQ(child.waitForExit(30000), 0) << child.errors();

    std::map<std::pair<std::string, int>, int> countById;
    std::set<std::string> buttonStates;
    for (const Published& record : publishedRecords(child)) {
        ++countById[{record.type, record.id}];
        if (record.type == "controller") {
            EXPECT_EQ(record.station, 2);
            buttonStates.insert(record.buttons);
            continue;
        }
        EXPECT_EQ(record.station, record.id) << "sensors 1 1 publish station n as tracker n";
        for (int axis = 0; axis < 3; ++axis) EXPECT_LT(std::fabs(record.pose[axis]), 20.0) << "feet";
        for (int angle = 3; angle < 6; ++angle) EXPECT_LE(std::fabs(record.pose[angle]), 180.0);
        EXPECT_LE(std::fabs(record.pose[4]), 90.0);
    }
    EXPECT_EQ(countById.size(), 3u);
    EXPECT_GT((countById[{"tracker", 1}]), 30);
    EXPECT_GT((countById[{"tracker", 2}]), 30);
    EXPECT_GT((countById[{"controller", 1}]), 1);
    EXPECT_GE(buttonStates.size(), 2u) << "the wand's buttons change during the run";
}

// Once a second the host tells each device's tracking quality, worked out
// from the records it published: the counts and rates agree with the record
// lines before each quality line, and the simulator's moving sensors have
// no noise figure.
TEST(HostProcess, QualityLinesAgreeWithTheRecordsBeforeThem) {
    using namespace is900::hostkit;
    ChildProcess child({host, "--simulate", "--format", "jsonl", "--duration", "4", "-c", headAndWand});
    ASSERT_EQ(child.waitForExit(30000), 0) << child.errors();
    std::map<int, std::vector<double>> stamps; // each station's tracker records so far
    std::vector<double> times;
    int checked = 0;
    for (const std::string& line : child.outputLines()) {
        if (line.empty() || line[0] != '{') continue;
        const JsonLine read = readJsonLine(line);
        if (read.type == LineType::record && read.record.kind == RecordKind::tracker)
            stamps[read.record.station].push_back(read.record.stamp);
        if (read.type != LineType::quality) continue;
        times.push_back(read.quality.time);
        for (const StationQuality& station : read.quality.stations) {
            const std::vector<double>& before = stamps[station.station];
            EXPECT_NEAR(static_cast<double>(station.records), static_cast<double>(before.size()), 3) << line;
            if (station.records < 100 || station.ongoingGap) continue;
            const double published = (before.size() - 1) / (before.back() - before.front());
            ASSERT_TRUE(station.rate) << line;
            EXPECT_NEAR(*station.rate, published, 0.02 * published) << line;
            EXPECT_EQ(station.moving, std::optional<bool>(true)) << line;
            EXPECT_FALSE(station.positionNoiseMm || station.orientationNoiseDeg) << line;
            ++checked;
        }
    }
    ASSERT_GE(times.size(), 3u);
    for (std::size_t i = 1; i < times.size(); ++i) EXPECT_NEAR(times[i] - times[i - 1], 1.0, 0.1);
    EXPECT_GE(checked, 2) << "both sensors' figures once they had records enough";
}

// A reader that leaves after three lines (as `| head -3`), in each format
// and with -q, and each stop signal: the tracker is told to stop streaming
// and its CAVE alignment is restored, and the run ends with status 0.
TEST(HostProcess, EveryEndStopsTheTrackerInOrder) {
    struct End {
        std::string name;
        std::vector<std::string> args;
        int signalNumber; // 0: the reader leaves
    };
    const std::vector<End> ends = {
        {"head-table", {"--format", "table"}, 0}, {"head-jsonl", {"--format", "jsonl"}, 0},
        {"head-quiet", {"-q", "--format", "table"}, 0}, {"SIGINT", {"--format", "jsonl"}, SIGINT},
        {"SIGTERM", {"--format", "jsonl"}, SIGTERM}, {"SIGHUP", {"--format", "jsonl"}, SIGHUP},
    };
    for (const End& end : ends) {
        SCOPED_TRACE(end.name);
        const std::string commandLog = testing::TempDir() + "host-commands-" + end.name + ".log";
        std::remove(commandLog.c_str());
        std::vector<std::string> command{host, "--simulate", "--sim-log", commandLog, "-c", headAndWand};
        command.insert(command.end(), end.args.begin(), end.args.end());
        ChildProcess child(command);
        int lines = 0;
        ASSERT_TRUE(child.waitForLine([&](const std::string&) { return ++lines == 3; }, 20000)) << child.errors();
        if (end.signalNumber == 0) {
            child.closeOutput();
        } else {
            // The tracker streams before the signal comes.
            ASSERT_TRUE(child.waitForLine([](const std::string& line) { return contains(line, "\"type\":\"tracker\""); },
                                          20000));
            child.sendSignal(end.signalNumber);
        }
        EXPECT_EQ(child.waitForExit(15000), 0) << child.errors();

        const std::vector<std::string> commands = fileLines(commandLog);
        std::ostringstream sequence;
        for (const std::string& command : commands) sequence << command << ' ';
        EXPECT_TRUE(contains(sequence.str(), "f C c R1 R2 R3 R4 R5 R6 R7 R8 A1,0,0,0,200,0,0,0,200,0 "))
            << sequence.str();
        ASSERT_FALSE(commands.empty());
        EXPECT_EQ(commands.back(), "A8,0,0,0,200,0,0,0,200,0");
    }
}

// The table is drawn from the hub's records: the last table holds a row for
// each of the head's trackers and the wand, and the table, being the screen
// itself, is not among the outputs whose counts are told.
TEST(HostProcess, TheTableShowsEveryStationFromTheHubAndTellsNoCountOfItsOwn) {
    ChildProcess child({host, "--simulate", "-c", headAndWand, "--format", "table", "--duration", "3"});
    ASSERT_EQ(child.waitForExit(30000), 0) << child.errors();
    const std::string& out = child.output();
    const std::size_t lastTable = out.rfind("DEVICE ");
    ASSERT_NE(lastTable, std::string::npos) << out;
    for (const char* row : {"tracker      1   1", "tracker      2   2", "controller   1   2"})
        EXPECT_TRUE(contains(out.substr(lastTable), row)) << row << "\n" << out.substr(lastTable);
    EXPECT_FALSE(contains(child.errors(), "table:")) << child.errors();
}

// The calibration sample names its library without a path: it is found
// beside the plug-in from any current folder.
TEST(HostProcess, TheCalibrationSampleStreamsFromAnotherFolder) {
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    const std::string calibration = std::string(HOST_CONFIG_DIR) + "/calibration.cfg";
    ChildProcess child({"/bin/sh", "-c",
                        "cd '" + testing::TempDir() + "' && exec '" + std::string(here) + "/is900-host' --simulate -c '" + calibration +
                            "' --duration 2 --format jsonl"});
    ASSERT_EQ(child.waitForExit(30000), 0) << child.errors();
    int trackers = 0;
    for (const Published& record : publishedRecords(child)) trackers += record.type == "tracker";
    EXPECT_GT(trackers, 10) << child.output() << child.errors();
}

// A device that fails configure, and one whose recvData never returns:
// at the end of the run it is left behind with status 8, or at once with
// 130 at a second stop signal. The device's lines go to standard error,
// which the runs join to standard output.
TEST(HostProcess, AMisbehavingDeviceEndsTheRunWithItsOwnStatus) {
    SilentPort port;
    ASSERT_FALSE(port.path().empty());
    auto run = [&](const std::string& misbehaviour, const std::string& flags) {
        const std::string config = writeTempFile("misbehave-" + misbehaviour + ".cfg", "misbehave " + misbehaviour + "\n");
        return std::unique_ptr<ChildProcess>(new ChildProcess(
            {"/bin/sh", "-c", "exec " + host + " --plugin " + HOST_TEST_MISBEHAVING_FILE + " --port " + port.path() +
                                  " -c " + config + " " + flags + " 2>&1"}));
    };
    auto hanging = [](const std::string& line) { return contains(line, "recvData will not return"); };

    auto unconfigured = run("configure", "--once");
    EXPECT_EQ(unconfigured->waitForExit(20000), 5);
    EXPECT_TRUE(contains(unconfigured->output(), "the tracker on " + port.path() + " could not be set up for streaming"))
        << unconfigured->output();

    auto leftBehind = run("hang", "");
    auto secondSignal = run("hang", "");
    ASSERT_TRUE(leftBehind->waitForLine(hanging, 20000)) << leftBehind->output();
    ASSERT_TRUE(secondSignal->waitForLine(hanging, 20000)) << secondSignal->output();
    leftBehind->sendSignal(SIGINT);
    secondSignal->sendSignal(SIGINT);
    secondSignal->sendSignal(SIGTERM);
    EXPECT_EQ(secondSignal->waitForExit(20000), 130) << secondSignal->output();
    EXPECT_EQ(leftBehind->waitForExit(20000), 8);
    EXPECT_TRUE(contains(leftBehind->output(), "recvData did not return within 5 seconds after the run flag was cleared"))
        << leftBehind->output();
}

// --capture gives the device a capture file named after it in the folder;
// --replay-capture takes the device's options from that file's header and
// publishes the same records, time stamps aside.
TEST(HostProcess, ACapturedRunReplaysToTheSameRecords) {
    const std::string folder = testing::TempDir() + "/capture-" + std::to_string(getpid());
    ASSERT_EQ(0, system(("mkdir -p " + folder).c_str()));
    const auto records = [](const ChildProcess& child) {
        std::vector<std::string> lines;
        for (std::string line : child.outputLines()) {
            if (!contains(line, "{\"type\":\"tracker\"") && !contains(line, "{\"type\":\"controller\"")) continue;
            const std::size_t time = line.find("\"time\":");
            lines.push_back(line.erase(time, line.find(',', time) + 1 - time));
        }
        return lines;
    };
    ChildProcess captured({host, "--simulate", "-c", headAndWand, "--name", "lab", "--capture", folder, "--duration",
                           "2", "--format", "jsonl", "-q"});
    ASSERT_EQ(0, captured.waitForExit(20000)) << captured.errors();
    std::string file;
    if (DIR* entries = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(entries))
            if (entry->d_name[0] != '.') file = folder + "/" + entry->d_name;
        closedir(entries);
    }
    ASSERT_EQ(0u, file.find(folder + "/lab-")) << file;
    EXPECT_EQ(".is900cap", file.substr(file.size() - 9));
    EXPECT_TRUE(contains(captured.errors(), "; line captured into " + file + " (at most 1024 MiB)\n"))
        << captured.errors();

    ChildProcess replayed({host, "--replay-capture", file, "--name", "lab", "--speed", "4", "--duration", "3",
                           "--format", "jsonl", "-q"});
    ASSERT_EQ(0, replayed.waitForExit(20000)) << replayed.errors();
    EXPECT_FALSE(contains(replayed.errors(), "captured into")) << "the capture's own capture line is left out";
    EXPECT_GT(records(captured).size(), 50u);
    EXPECT_EQ(records(captured), records(replayed));
    std::remove(file.c_str());
    rmdir(folder.c_str());
}

namespace {

// The states of the status lines in the order they came.
std::vector<std::string> statesIn(const std::string& output) {
    std::vector<std::string> states;
    const std::string key = "\"state\":\"";
    for (std::size_t at = output.find(key); at != std::string::npos; at = output.find(key, at + 1)) {
        const std::size_t begin = at + key.size();
        states.push_back(output.substr(begin, output.find('"', begin) - begin));
    }
    return states;
}

} // namespace

// With --once a device that fails ends as failed, with the failure's own
// status; without it, a port that vanishes between the host's look at it
// and init is waited for, not given up.
TEST(HostProcess, AFailedDeviceEndsFailedAndAPortGoneDuringABringUpIsWaitedFor) {
    SilentPort port;
    ASSERT_FALSE(port.path().empty());
    const std::vector<std::string> once{"--port", port.path(), "--format", "jsonl", "--silence", "2", "--once"};
    auto misbehaving = [&](const std::string& misbehaviour) {
        const std::string config = writeTempFile("fails-" + misbehaviour + ".cfg", "misbehave " + misbehaviour + "\n");
        std::vector<std::string> command{host, "--plugin", HOST_TEST_MISBEHAVING_FILE, "-c", config};
        command.insert(command.end(), once.begin(), once.end());
        return command;
    };
    std::vector<std::string> silent{host};
    silent.insert(silent.end(), once.begin(), once.end());
    const struct {
        std::vector<std::string> command;
        int status;
    } failures[] = {{misbehaving("nodevice"), 3}, {misbehaving("configure"), 5}, {silent, 6}};
    for (const auto& failure : failures) {
        ChildProcess child(failure.command);
        EXPECT_EQ(child.waitForExit(20000), failure.status) << child.errors();
        const std::vector<std::string> states = statesIn(child.output());
        ASSERT_FALSE(states.empty()) << child.errors();
        EXPECT_EQ(states.back(), "failed") << "exit status " << failure.status << "\n" << child.output();
    }

    // The port, a link, vanishes during init and comes back once the host waits for it.
    const std::string link = testing::TempDir() + "is900-gone-" + std::to_string(getpid());
    std::remove(link.c_str());
    ASSERT_EQ(symlink(port.path().c_str(), link.c_str()), 0);
    const std::string config = writeTempFile("fails-portgone.cfg", "misbehave portgone\n");
    ChildProcess gone({host, "--plugin", HOST_TEST_MISBEHAVING_FILE, "--port", link, "-c", config, "--format", "jsonl",
                       "-q"});
    ASSERT_TRUE(gone.waitForLine([](const std::string& line) { return contains(line, "\"state\":\"reconnecting\""); },
                                 20000))
        << gone.errors();
    ASSERT_EQ(symlink(port.path().c_str(), link.c_str()), 0);
    ASSERT_TRUE(gone.waitForLine([](const std::string& line) { return contains(line, "\"state\":\"silent\""); }, 20000))
        << gone.errors();
    gone.sendSignal(SIGINT);
    EXPECT_EQ(gone.waitForExit(10000), 0) << gone.errors();
    std::remove(link.c_str());
    const std::vector<std::string> states = statesIn(gone.output());
    const std::vector<std::string> expected{"starting", "reconnecting", "starting", "silent"};
    ASSERT_GE(states.size(), expected.size()) << gone.output();
    EXPECT_EQ(std::vector<std::string>(states.begin(), states.begin() + 4), expected) << gone.output();
    EXPECT_TRUE(contains(gone.errors(), "cannot open port " + link)) << gone.errors();
}
