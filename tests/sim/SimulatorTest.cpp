#include "protocol/TestLine.h"

#include "common/CoutCapture.h"
#include "protocol/CRS232H.h"
#include "protocol/CommandSteps.h"
#include "support/CLogH.h"
#include "sim/Commands.h"
#include "sim/Motion.h"
#include "sim/Records.h"
#include "sim/Simulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

using is900sim::SentRecord;
using is900sim::Simulator;
using is900sim::SimulatorOptions;
using is900sim::StationKind;

namespace {

void skipSleep(unsigned long) {}

class SimulatedTracker {
public:
    explicit SimulatedTracker(SimulatorOptions options, uint32_t baudRate = 115200) : simulator(options), steps(&port, &log) {
        steps.sleep = skipSleep;
        started = simulator.start() && port.openPort(simulator.slavePath().c_str());
        PortAttribute attribute = trackerAttribute(baudRate);
        started = started && port.setAttribute(&attribute);
    }

    // Output lists, binary and continuous mode, as the device sets them up.
    bool configure(const std::vector<std::pair<uint32_t, StationKind>>& stations) {
        for (const auto& station : stations)
            if (!steps.setDataFormat(station.first, station.second != StationKind::wand,
                                     station.second != StationKind::tracker))
                return false;
        return steps.setBinaryMode() && steps.startContinuous();
    }

    CLogH log;
    Simulator simulator;
    CRS232H port;
    IS900CommandSteps steps;
    bool started = false;
};

SimulatorOptions stationsOf(std::vector<is900sim::StationSetup> stations) {
    SimulatorOptions options;
    options.stations = stations;
    return options;
}

void expectMatchesSent(const Bytes& record, const SentRecord& sent) {
    EXPECT_EQ(sent.bytes, record);
    std::size_t offset = 3;
    if (sent.hasPosition) {
        for (int axis = 0; axis < 3; ++axis) EXPECT_EQ(sent.position[axis], floatAt(record, offset + 4 * axis));
        for (int axis = 0; axis < 3; ++axis) EXPECT_EQ(sent.angles[axis], floatAt(record, offset + 12 + 4 * axis));
        offset += 24;
    }
    if (sent.hasButtons) {
        EXPECT_EQ(sent.buttons, record[offset]);
        EXPECT_EQ(sent.joystick[0], record[offset + 1]);
        EXPECT_EQ(sent.joystick[1], record[offset + 2]);
    }
}

} // namespace

TEST(Simulator, RecordsOfTheThreeLayoutsReadBackThroughThePort) {
    SimulatedTracker tracker(stationsOf({{1, StationKind::tracker}, {2, StationKind::wand}, {5, StationKind::both}}));
    ASSERT_TRUE(tracker.started) << tracker.simulator.errorText();
    ASSERT_TRUE(tracker.configure({{1, StationKind::tracker}, {2, StationKind::wand}, {5, StationKind::both}}));
    std::vector<Bytes> records = readRecords(tracker.port, 60);
    ASSERT_TRUE(tracker.steps.stopContinuous());
    ASSERT_EQ(60u, records.size());

    std::vector<SentRecord> sent = tracker.simulator.sentRecords();
    ASSERT_GE(sent.size(), records.size());
    const std::size_t lengths[] = {29, 8, 32};
    const char stations[] = {'1', '2', '5'};
    for (std::size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(lengths[i % 3], records[i].size());
        EXPECT_EQ('0', records[i][0]);
        EXPECT_EQ(stations[i % 3], records[i][1]);
        EXPECT_EQ(' ', records[i][2]);
        expectMatchesSent(records[i], sent[i]);
    }
    std::vector<SentRecord> wand = tracker.simulator.sentRecords(2);
    bool buttonsChanged = false, joystickMoved = false;
    for (const SentRecord& record : wand) {
        buttonsChanged = buttonsChanged || record.buttons != wand.front().buttons;
        joystickMoved = joystickMoved || record.joystick[0] != 127;
    }
    EXPECT_TRUE(buttonsChanged || joystickMoved);
}

TEST(Simulator, PositionsAreSmoothAndInTheChosenUnit) {
    SimulatorOptions inches = stationsOf({{1, StationKind::tracker}});
    SimulatorOptions centimetres = inches;
    centimetres.centimetres = true;
    std::vector<SentRecord> runs[2];
    for (int run = 0; run < 2; ++run) {
        SimulatedTracker tracker(run == 0 ? inches : centimetres);
        ASSERT_TRUE(tracker.started);
        ASSERT_TRUE(tracker.configure({{1, StationKind::tracker}}));
        ASSERT_EQ(20u, readRecords(tracker.port, 20).size());
        tracker.steps.stopContinuous();
        runs[run] = tracker.simulator.sentRecords();
    }
    for (std::size_t i = 0; i < 20; ++i) {
        for (int axis = 0; axis < 3; ++axis) EXPECT_NEAR(runs[1][i].position[axis], runs[0][i].position[axis] * 2.54f, 1e-3);
        if (i == 0) continue;
        for (int axis = 0; axis < 3; ++axis) EXPECT_NEAR(runs[0][i].position[axis], runs[0][i - 1].position[axis], 1.0);
    }
}

TEST(Simulator, AlignmentAndResetChangeTheOutput) {
    SimulatedTracker tracker(stationsOf({{1, StationKind::tracker}}));
    ASSERT_TRUE(tracker.started);
    ASSERT_TRUE(tracker.configure({{1, StationKind::tracker}}));
    ASSERT_EQ(3u, readRecords(tracker.port, 3).size());
    ASSERT_TRUE(tracker.steps.setAlignment());
    ASSERT_TRUE(tracker.simulator.waitForCommands(19, 2000));
    std::size_t before = tracker.simulator.sentRecords().size();
    ASSERT_TRUE(tracker.simulator.waitForRecords(before + 2, 2000));
    SentRecord aligned = tracker.simulator.sentRecords().back();
    // The head hangs about 100 cm below the transmitter (Z down); with X
    // through 0,0,-200 that depth shows as a negative x.
    EXPECT_LT(aligned.position[0], -20.0f);

    ASSERT_TRUE(tracker.steps.resetTracker());
    ASSERT_TRUE(tracker.simulator.waitForCommands(20, 2000));
    EXPECT_FALSE(tracker.simulator.continuousMode());
    EXPECT_FALSE(tracker.simulator.binaryMode());
    EXPECT_EQ((std::vector<int>{2, 4, 1}), tracker.simulator.outputList(1));
}

TEST(Simulator, OutputNeverOutrunsTheLine) {
    SimulatorOptions options = stationsOf({{1, StationKind::tracker}});
    options.updateRate = 1000;
    SimulatedTracker tracker(options, 9600);
    ASSERT_TRUE(tracker.started);
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_TRUE(tracker.configure({{1, StationKind::tracker}}));
    EXPECT_TRUE(tracker.simulator.waitForRecords(20, 30000));
    tracker.steps.stopContinuous();
    EXPECT_EQ(9600, tracker.simulator.lineBaudRate());
    const std::size_t sent = tracker.simulator.sentRecords().size();
    // At most what the line carries in the time it streamed: 9600 baud
    // is 960 bytes a second, 29 bytes a record.
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    EXPECT_LE(sent, static_cast<std::size_t>(9600 / 10 / 29.0 * seconds) + 3) << "in " << seconds << " s";
    EXPECT_GE(sent, 20u);
}

TEST(Simulator, FaultsAppearOnTheLine) {
    SimulatedTracker tracker(stationsOf({{1, StationKind::tracker}}));
    ASSERT_TRUE(tracker.started);
    tracker.simulator.injectGarbage({'x', 'y', 'z'});
    tracker.simulator.truncateNextRecord(10);
    tracker.simulator.forceCrLfInNextRecord();
    tracker.simulator.silence(300);
    ASSERT_TRUE(tracker.configure({{1, StationKind::tracker}}));
    std::vector<Bytes> pieces = readRecords(tracker.port, 6);
    tracker.steps.stopContinuous();

    std::vector<SentRecord> sent = tracker.simulator.sentRecords();
    auto truncated = std::find_if(sent.begin(), sent.end(), [](const SentRecord& r) { return r.truncated; });
    ASSERT_NE(sent.end(), truncated);
    EXPECT_EQ(10u, truncated->bytes.size());
    auto split = truncated + 1;
    ASSERT_NE(sent.end(), split);
    EXPECT_TRUE(split->crLfInside);
    EXPECT_EQ(29u, split->bytes.size());
    EXPECT_EQ((Bytes{0x0D, 0x0A, 0xA0, 0x41}), Bytes(split->bytes.begin() + 3, split->bytes.begin() + 7));
    EXPECT_EQ(is900sim::crLfFloat(), split->position[0]);
    ASSERT_NE(sent.end(), split + 1);
    EXPECT_FALSE((split + 1)->crLfInside);

    // The truncated record runs into the next one, which ends early at its
    // float's CR LF; after the silence the stream is in step again.
    ASSERT_EQ(6u, pieces.size());
    EXPECT_EQ(10u + 5u, pieces[0].size());
    EXPECT_NE(pieces.end(), std::find(pieces.begin() + 1, pieces.end(), (split + 1)->bytes));
    EXPECT_EQ(sent.begin(), truncated);
}

// Faults queued faster than records go out are all sent, each taken from the
// queue only once it has been read.
TEST(Simulator, ManyQueuedFaultsAreAllSent) {
    SimulatedTracker tracker(stationsOf({{1, StationKind::tracker}}));
    ASSERT_TRUE(tracker.started);
    const std::size_t injections = 40;
    for (std::size_t i = 0; i < injections; ++i) tracker.simulator.injectGarbage({'0', 'x'});
    ASSERT_TRUE(tracker.configure({{1, StationKind::tracker}}));
    std::vector<Bytes> pieces = readRecords(tracker.port, 1);
    tracker.steps.stopContinuous();
    ASSERT_EQ(1u, pieces.size());
    const std::vector<SentRecord> sent = tracker.simulator.sentRecords();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(2 * injections + sent[0].bytes.size(), pieces[0].size()) << "the garbage, then the first record";
}

TEST(Simulator, SilenceAndHangUp) {
    SimulatedTracker tracker(stationsOf({{1, StationKind::tracker}}));
    ASSERT_TRUE(tracker.started);
    tracker.simulator.silence(1500);
    ASSERT_TRUE(tracker.configure({{1, StationKind::tracker}}));
    uint8_t byte;
    auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(0, tracker.port.readData(&byte, 1));
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(900));

    // A read on a line that is gone fails at once instead of waiting for its
    // time-out: with a minute's time-out, any wait far short of it shows that.
    PortAttribute patient = trackerAttribute(115200);
    patient.timeouts.ReadTotalTimeoutConstant = 60000;
    ASSERT_TRUE(tracker.port.setAttribute(&patient));
    tracker.simulator.hangUp();
    EXPECT_TRUE(tracker.simulator.hungUp());
    CoutCapture output;
    begin = std::chrono::steady_clock::now();
    EXPECT_EQ(-1, tracker.port.readData(&byte, 1));
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(20));
    EXPECT_TRUE(contains(output.text(), "CRS232H: Reading from " + tracker.simulator.slavePath() + ": "));
    EXPECT_EQ(0u, tracker.port.writeData("C", 1));
    EXPECT_TRUE(contains(output.text(), "CRS232H: Writing to "));
    tracker.port.closePort();
    EXPECT_FALSE(tracker.port.isOpen());
}

TEST(SimulatorParts, CommandsSplitAtCarriageReturns) {
    is900sim::CommandSplitter splitter;
    std::vector<std::string> commands;
    const std::string input = std::string("\x19") + "R1\rO2,22,23,1\r\r\nfFCcP" + "\x07" + "A3,1,2,3,4,5,6,7,8,9\r";
    for (char byte : input) {
        std::string command;
        if (splitter.feed(static_cast<uint8_t>(byte), command)) commands.push_back(command);
    }
    EXPECT_EQ((std::vector<std::string>{"^Y", "R1", "O2,22,23,1", "f", "F", "C", "c", "P", "?07",
                                        "A3,1,2,3,4,5,6,7,8,9"}),
              commands);

    is900sim::TrackerSettings settings;
    settings.powerUp({{1, StationKind::tracker}, {2, StationKind::wand}}, false);
    EXPECT_EQ((std::vector<int>{22, 23, 1}), settings.outputLists[2]);
    EXPECT_TRUE(is900sim::applyCommand("O1,2,4,22,23,1", settings));
    EXPECT_EQ((std::vector<int>{2, 4, 22, 23, 1}), settings.outputLists[1]);
    EXPECT_FALSE(is900sim::applyCommand("O1,2,99,1", settings));
    EXPECT_FALSE(is900sim::applyCommand("O7,2,4,1", settings));
    EXPECT_FALSE(is900sim::applyCommand("A1,0,0,0,0,0,0,0,0,0", settings));
    EXPECT_TRUE(is900sim::applyCommand("f", settings));
    EXPECT_TRUE(settings.binary);
}

TEST(SimulatorParts, AlignmentFrames) {
    is900sim::AlignmentFrame frame;
    const double cave[9] = {0, 0, 0, 0, 0, -200, 200, 0, 0};
    ASSERT_TRUE(is900sim::alignOnTop(frame, cave));
    is900sim::Sample sample{{10, 20, 30}, {0, 0, 0}, 0, {127, 127}, 0};
    is900sim::Sample seen = is900sim::seenInFrame(frame, sample);
    EXPECT_NEAR(-30, seen.position[0], 1e-4);
    EXPECT_NEAR(10, seen.position[1], 1e-4);
    EXPECT_NEAR(-20, seen.position[2], 1e-4);

    is900sim::AlignmentFrame shifted;
    const double moved[9] = {5, 0, 0, 6, 0, 0, 5, 1, 0};
    ASSERT_TRUE(is900sim::alignOnTop(shifted, moved));
    is900sim::Sample turned{{10, 20, 30}, {30, 10, 5}, 0, {127, 127}, 0};
    seen = is900sim::seenInFrame(shifted, turned);
    EXPECT_NEAR(5, seen.position[0], 1e-4);
    EXPECT_NEAR(30, seen.angles[0], 1e-3);
    EXPECT_NEAR(10, seen.angles[1], 1e-3);
    EXPECT_NEAR(5, seen.angles[2], 1e-3);
}

TEST(SimulatorProgram, RunsOnItsOwnAndSendsValidRecords) {
    const std::string link = "/tmp/is900-sim-test-" + std::to_string(::getpid());
    const std::string records = link + ".records";
    const std::string command = "./is900-sim --quiet --station 3:both --station 4:tracker --rate 50 --duration 2 --link " +
                                link + " --record-log " + records;
    // The simulator names its line on standard output once the line is there.
    std::FILE* simulator = popen(command.c_str(), "r");
    ASSERT_NE(simulator, nullptr);
    char named[256] = {};
    ASSERT_NE(std::fgets(named, sizeof named, simulator), nullptr);
    CRS232H port;
    bool opened = false;
    {
        CoutCapture quiet;
        opened = port.openPort(link.c_str());
    }
    ASSERT_TRUE(opened);
    PortAttribute attribute = trackerAttribute(115200);
    ASSERT_TRUE(port.setAttribute(&attribute));
    CLogH log;
    IS900CommandSteps steps(&port, &log);
    ASSERT_TRUE(steps.setBinaryMode() && steps.startContinuous());
    std::vector<Bytes> read = readRecords(port, 10);
    ASSERT_EQ(10u, read.size());
    for (const Bytes& record : read) {
        ASSERT_TRUE(record.size() == 32 || record.size() == 29);
        EXPECT_EQ(record.size() == 32 ? '3' : '4', record[1]);
        for (std::size_t offset = 3; offset + 4 <= 27; offset += 4) EXPECT_TRUE(std::isfinite(floatAt(record, offset)));
    }
    port.closePort();
    // Every record is in the log once the simulator has ended.
    pclose(simulator);
    std::ifstream recordLog(records);
    const std::string logged((std::istreambuf_iterator<char>(recordLog)), std::istreambuf_iterator<char>());
    for (const Bytes& record : read) {
        std::string hex;
        char text[4];
        for (uint8_t byte : record) std::snprintf(text, sizeof text, " %02X", byte), hex += text;
        EXPECT_TRUE(contains(logged, "bytes" + hex + "\n"));
    }
    std::remove(records.c_str());
}

namespace {

// The rotation vector, in degrees about the sensor's axes, that turns the
// fixed orientation into the one of the angles; small angles only.
void rotationVector(const double fixed[3][3], const float angles[3], double out[3]) {
    double turned[3][3], d[3][3] = {};
    is900sim::rotationOf(angles, turned);
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            for (int k = 0; k < 3; ++k) d[row][column] += fixed[k][row] * turned[k][column];
    const double axis[3] = {d[2][1] - d[1][2], d[0][2] - d[2][0], d[1][0] - d[0][1]};
    for (int k = 0; k < 3; ++k) out[k] = axis[k] / 2 * 180 / M_PI;
}

} // namespace

// A still sensor's binary records, read back from their bytes, carry the
// noise asked for: over several seeds the standard deviations of x, y, z and
// of the rotation vector's components are the settings, their means the pose.
TEST(SimulatorQuality, StillSensorHasTheNoiseAskedFor) {
    const is900sim::StillPose still{1, {30, -40, 100}, {35, -20, 10}};
    const is900sim::SensorNoise noise{1.5, 0.05};
    const float fixedAngles[3] = {35, -20, 10};
    double fixed[3][3];
    is900sim::rotationOf(fixedAngles, fixed);
    const int samples = 10000;
    Bytes firstOfLastSeed;
    for (uint32_t seed = 1; seed <= 4; ++seed) {
        SCOPED_TRACE(seed);
        is900sim::StationMotion motion({1, StationKind::tracker}, seed, noise, still);
        is900sim::StationMotion again({1, StationKind::tracker}, seed, noise, still);
        double sum[6] = {}, squares[6] = {}; // x, y, z in mm; rotation vector in degrees
        for (int i = 0; i < samples; ++i) {
            const Bytes record = is900sim::encodeRecord(1, {2, 4, 1}, true, false, motion.next(i / 120.0), false).bytes;
            if (i == 0) {
                EXPECT_EQ(is900sim::encodeRecord(1, {2, 4, 1}, true, false, again.next(0), false).bytes, record);
                EXPECT_NE(firstOfLastSeed, record);
                firstOfLastSeed = record;
            }
            double error[6];
            float angles[3];
            for (int axis = 0; axis < 3; ++axis) {
                error[axis] = (floatAt(record, 3 + 4 * axis) * 2.54 - still.position[axis]) * 10;
                angles[axis] = floatAt(record, 15 + 4 * axis);
            }
            rotationVector(fixed, angles, error + 3);
            for (int k = 0; k < 6; ++k) sum[k] += error[k], squares[k] += error[k] * error[k];
        }
        for (int k = 0; k < 6; ++k) {
            const double setting = k < 3 ? noise.positionMm : noise.angleDegrees;
            const double mean = sum[k] / samples;
            EXPECT_NEAR(setting, std::sqrt(squares[k] / samples - mean * mean), 0.03 * setting) << k;
            EXPECT_NEAR(0, mean, 5 * setting / std::sqrt(samples)) << k;
        }
    }
}

// On a clock that moves one cycle at a time: station 2 (held still) sends no
// record in its gap while station 1 sends every cycle; the tracker hears a
// command in the gap, and station 2 resumes in the output list it set.
TEST(SimulatorQuality, GapStopsOneStationForItsLength) {
    std::atomic<long long> micros{0};
    const auto base = std::chrono::steady_clock::now();
    // Station 1 last in a cycle: once its record is read, the cycle is over.
    SimulatorOptions options = stationsOf({{2, StationKind::tracker}, {1, StationKind::tracker}});
    options.updateRate = 100;
    options.gaps = {{0.2, 0.3, 2}};
    options.stillPoses = {{2, {10, 20, 30}, {0, 0, 0}}};
    options.clock = [&] { return base + std::chrono::microseconds(micros.load()); };
    SimulatedTracker tracker(options);
    ASSERT_TRUE(tracker.started) << tracker.simulator.errorText();
    ASSERT_TRUE(tracker.configure({{2, StationKind::tracker}, {1, StationKind::tracker}}));
    const int cycles = 80, period = 10000, commandCycle = 35;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        if (cycle > 0) micros += period;
        std::vector<Bytes> read;
        do read = readRecords(tracker.port, 1);
        while (!read.empty() && read[0][1] != '1');
        ASSERT_FALSE(read.empty()) << "cycle " << cycle;
        if (cycle == commandCycle) {
            const std::size_t heard = tracker.simulator.commandLog().size();
            ASSERT_EQ(7u, tracker.port.writeData("O2,2,1\r", 7));
            ASSERT_TRUE(tracker.simulator.waitForCommands(heard + 1, 2000));
        }
    }
    tracker.port.closePort();
    tracker.simulator.stop();

    const double gapStart = options.gaps[0].at, gapEnd = gapStart + options.gaps[0].length;
    int stationOne = 0, before = 0, after = 0;
    for (const SentRecord& record : tracker.simulator.sentRecords()) {
        const double seconds = std::chrono::duration<double>(record.writeStartedAt - base).count();
        if (record.station == 1) {
            EXPECT_NEAR(seconds, 1e-6 * period * stationOne++, 1e-9) << "one a cycle";
            continue;
        }
        EXPECT_TRUE(seconds < gapStart || seconds >= gapEnd) << seconds;
        (seconds < gapStart ? before : after)++;
        EXPECT_EQ(seconds < gapStart, record.hasAngles) << seconds;
        for (int axis = 0; axis < 3; ++axis)
            EXPECT_NEAR(options.stillPoses[0].position[axis], record.position[axis] * 2.54, 1.0);
    }
    EXPECT_EQ(cycles, stationOne);
    EXPECT_EQ(static_cast<int>(std::lround(gapStart * 1e6 / period)), before);
    EXPECT_EQ(cycles - static_cast<int>(std::lround(gapEnd * 1e6 / period)), after);
}

// A scripted station's records carry the moment they stand for, and their
// poses are the script's at that moment, whatever motion it is in.
TEST(SimulatorQuality, ScriptedRecordsAreTheScriptsPoseAtTheirSampleTime) {
    for (is900sim::MotionScript script :
         {is900sim::MotionScript::headTurn, is900sim::MotionScript::wandSwing, is900sim::MotionScript::walk}) {
        SimulatorOptions options = stationsOf({{1, StationKind::tracker}});
        options.scripts = {{1, script, {}}};
        options.noise = {0, 0};
        // A second of records: each script moves within its first second.
        SimulatedTracker tracker(options);
        ASSERT_TRUE(tracker.started);
        ASSERT_TRUE(tracker.configure({{1, StationKind::tracker}}));
        ASSERT_TRUE(tracker.simulator.waitForRecords(120, 5000));
        const std::vector<SentRecord> sent = tracker.simulator.sentRecords();
        for (std::size_t k = 0; k < sent.size(); ++k) {
            if (k > 0) {
                EXPECT_NEAR(sent[k].sampledAt - sent[k - 1].sampledAt, 1 / 120.0, 1e-9);
            }
            double position[3], angles[3];
            is900sim::scriptedPose(script, sent[k].sampledAt, position, angles);
            for (int axis = 0; axis < 3; ++axis) {
                EXPECT_NEAR(sent[k].position[axis], position[axis] / 2.54, 1e-4) << k;
                EXPECT_NEAR(sent[k].angles[axis], angles[axis], 1e-3) << k;
            }
        }
    }
}
