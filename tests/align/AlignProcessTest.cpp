// Aligning a room end to end: a simulator whose transmitter stands misplaced
// in the room and whose wand's sensor sits behind its tip, a host reading it,
// and is900-align on the host's JSON lines: the tip found by pivoting, the
// transmitter lines from points held still, and then, with those lines in
// the device's configuration, the room's points and orientations where they
// are, and the eyes' offsets from a head sensor.
#include "common/ChildProcess.h"

#include "is900/hostkit/Alignment.h"
#include "rules/Rotation.h"
#include "sim/Motion.h"
#include "sim/Records.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

using is900::hostkit::Pose;
using is900::hostkit::Position;
using Rows = std::array<std::array<double, 3>, 3>;

const double mmPerInch = 25.4, inchesPerFoot = 12;
const char* const transmitter = "90,-60,45,0.3,-1,0.5,135"; // inches, axis, degrees
const double tipInches[3] = {2, -3, -10};                   // in the sensor's frame
const double head[6] = {10, -5, 60, 30, -10, 5};            // the head sensor's room pose
// The wand's held room poses (inches, degrees): elevations up to 80 degrees either way.
const double holds[6][6] = {{0, 0, 0, 10, 20, 30},     {40, 0, 0, -40, 80, 0},      {0, 40, 0, 80, -80, 10},
                            {0, 0, 40, 0, 0, 0},       {40, 40, -20, 120, 45, -60}, {-30, 20, 50, -150, -30, 170}};

// The sensor's axes (rows) in the room as the simulator turns it.
Rows simulatedAxes(const double angles[3]) {
    const float values[3] = {float(angles[0]), float(angles[1]), float(angles[2])};
    double columns[3][3];
    is900sim::rotationOf(values, columns);
    Rows rows;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) rows[i][j] = columns[j][i];
    return rows;
}

// With CAVE coordinates the device's sensor axes are the tracker's y, -z and
// -x: its orientation of a sensor turned so is P . axes.
Rows publishedAxes(const double angles[3]) {
    const Rows axes = simulatedAxes(angles);
    return {{axes[1], {-axes[2][0], -axes[2][1], -axes[2][2]}, {-axes[0][0], -axes[0][1], -axes[0][2]}}};
}

double degreesBetween(const Rows& a, const float angles[3]) {
    double m[3][3], trace = 0;
    rotation::orientationMatrix(angles[0], angles[1], angles[2], m);
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k) trace += a[i][k] * m[i][k];
    return std::acos(std::max(-1.0, std::min(1.0, (trace - 1) / 2))) * rotation::radiansToDegrees;
}

// (point - origin) in the frame of the rows, feet from inches.
Position inFrame(const double point[3], const double origin[3], const Rows& rows) {
    Position p{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) p[i] += (point[j] - origin[j]) / inchesPerFoot * rows[i][j];
    return p;
}

std::string simulatorPort(ChildProcess& simulator) {
    EXPECT_TRUE(simulator.waitForLine([](const std::string& line) { return line[0] == '/'; }, 10000));
    return simulator.outputLines().at(0);
}

std::vector<std::string> simulatorCommand(const std::vector<std::string>& motion) {
    std::vector<std::string> command = {"./is900-sim", "--baud", "115200", "--station", "1:tracker", "--station", "2:wand",
                                        "--noise", "1.5,0", "--transmitter", transmitter, "--quiet", "--tip",
                                        "2:" + std::to_string(tipInches[0]) + "," + std::to_string(tipInches[1]) + "," +
                                            std::to_string(tipInches[2])};
    command.insert(command.end(), motion.begin(), motion.end());
    return command;
}

std::vector<std::string> holdOptions() {
    std::vector<std::string> options = {"--still", "1:10,-5,60,30,-10,5"};
    for (const auto& hold : holds) {
        std::ostringstream text;
        text << "2:" << hold[0] << "," << hold[1] << "," << hold[2] << "," << hold[3] << "," << hold[4] << "," << hold[5];
        options.insert(options.end(), {"--hold", text.str()});
    }
    return options;
}

std::string roomPoints() {
    std::ostringstream text;
    for (const auto& hold : holds)
        text << (&hold == holds ? "" : ";") << hold[0] * mmPerInch / 1000 << "," << hold[1] * mmPerInch / 1000 << ","
             << hold[2] * mmPerInch / 1000;
    return text.str();
}

// is900-align on the JSON lines of a host reading a simulator; its output.
std::string alignLive(const std::vector<std::string>& motion, const std::string& config, const std::string& align) {
    ChildProcess simulator(simulatorCommand(motion));
    const std::string port = simulatorPort(simulator);
    ChildProcess run({"/bin/sh", "-c", "./is900-host --port '" + port + "' -c '" + config +
                                           "' --format jsonl -q | ./is900-align " + align + " - -c '" + config + "'"});
    EXPECT_EQ(run.waitForExit(180000), 0) << run.errors();
    return run.output();
}

// The numbers after the keyword (and station) of the output's line that starts with it.
std::vector<double> lineNumbers(const std::string& output, const std::string& start) {
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, start.size(), start) != 0) continue;
        std::istringstream words(line.substr(start.size()));
        std::vector<double> numbers;
        for (double value; words >> value;) numbers.push_back(value);
        return numbers;
    }
    ADD_FAILURE() << "no line '" << start << "' in:\n" << output;
    return {0, 0, 0, 0};
}

std::string lineOf(const std::string& output, const std::string& start) {
    const std::size_t at = output.find("\n" + start);
    return at == std::string::npos ? "" : output.substr(at + 1, output.find('\n', at + 1) - at - 1);
}

struct Took {
    std::vector<Position> points;           // the mean of each press's second
    std::vector<std::array<float, 3>> angles; // the last orientation before each press
};

// Station 2's points taken by its presses, from the host's JSON lines.
Took taken(const std::vector<std::string>& lines) {
    Took took;
    std::vector<std::pair<double, Pose>> poses;
    bool down = false;
    for (const std::string& line : lines) {
        double time = 0;
        float v[6];
        unsigned button = 0;
        if (std::sscanf(line.c_str(), "{\"type\":\"tracker\",\"id\":2,\"station\":2,\"time\":%lf,\"x\":%f,\"y\":%f,\"z\":%f,"
                                      "\"azim\":%f,\"elev\":%f,\"roll\":%f", &time, v, v + 1, v + 2, v + 3, v + 4, v + 5) == 7)
            poses.push_back({time, {v[0], v[1], v[2], v[3], v[4], v[5]}});
        if (std::sscanf(line.c_str(), "{\"type\":\"controller\",\"id\":1,\"station\":2,\"time\":%lf,\"buttons\":[%u",
                        &time, &button) == 2) {
            if (button && !down) {
                std::vector<Pose> second;
                for (const auto& pose : poses)
                    if (pose.first >= time - 1 && pose.first < time) second.push_back(pose.second);
                took.points.push_back(is900::hostkit::heldPosition(second));
                took.angles.push_back({second.back()[3], second.back()[4], second.back()[5]});
            }
            down = button != 0;
        }
    }
    return took;
}

// is900-align's first line on standard error, expecting exit status 2.
std::string refusalOf(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "./is900-align");
    ChildProcess align(arguments);
    EXPECT_EQ(align.waitForExit(30000), 2) << align.output();
    return align.errors().substr(0, align.errors().find('\n'));
}

// Station 2's x moved by feet from seconds before the press-th press on.
void moveBeforePress(std::vector<std::string>& lines, int press, double seconds, double feet) {
    double pressedAt = 0, time = 0;
    unsigned button = 0;
    bool down = false;
    for (const std::string& line : lines)
        if (std::sscanf(line.c_str(), "{\"type\":\"controller\",\"id\":1,\"station\":2,\"time\":%lf,\"buttons\":[%u",
                        &time, &button) == 2) {
            if (button && !down && --press == 0) pressedAt = time;
            down = button != 0;
        }
    for (std::string& line : lines) {
        float x = 0;
        const std::size_t at = line.find(",\"x\":");
        if (std::sscanf(line.c_str(), "{\"type\":\"tracker\",\"id\":2,\"station\":2,\"time\":%lf,\"x\":%f", &time, &x) != 2 ||
            time < pressedAt - seconds || time >= pressedAt)
            continue;
        line = line.substr(0, at) + ",\"x\":" + std::to_string(x + feet) + line.substr(line.find(',', at + 5));
    }
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

} // namespace

TEST(AlignProcess, PivotRoomAndEyesPutTheRoomWhereItIs) {
    const std::string base = "sensors 1 1\ncontrollers 0 1\n";
    const std::string bare = writeTempFile("align-bare.cfg", base);

    // The tip: in the device's sensor frame the simulator's (x, y, z) is (y, -z, -x).
    const std::string pivot = alignLive({"--swivel", "2:10,20,50,0,30,0"}, bare, "pivot --station 2 --seconds 6");
    const std::vector<double> tip = lineNumbers(pivot, "sensoroffset 2 ");
    ASSERT_EQ(tip.size(), 3u) << pivot;
    const double expectedTip[3] = {tipInches[1], -tipInches[2], -tipInches[0]};
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(tip[a] * 1000, expectedTip[a] * mmPerInch, 1.5) << pivot;
    const std::string tipped = writeTempFile("align-tip.cfg", base + lineOf(pivot, "sensoroffset") + "\n");

    // The room, from six points with the tip.
    const std::string room = alignLive(holdOptions(), tipped, "room --station 2 --points '" + roomPoints() + "'");
    double rms = 0;
    ASSERT_EQ(std::sscanf(room.substr(room.find("RMS")).c_str(), "RMS %lf", &rms), 1) << room;
    EXPECT_LT(rms, 1.0) << room;
    const std::string aligned = writeTempFile("align-room.cfg", base + lineOf(pivot, "sensoroffset") + "\n" +
                                                                    lineOf(room, "transmitteroffset") + "\n" +
                                                                    lineOf(room, "transmitterrotation") + "\n");

    // The device with the lines: each point where the room has it.
    ChildProcess simulator(simulatorCommand(holdOptions()));
    const std::string port = simulatorPort(simulator);
    const std::string output = ::testing::TempDir() + "align-" + std::to_string(getpid()) + ".jsonl";
    const std::string captures = ::testing::TempDir() + "align-captures-" + std::to_string(getpid());
    std::filesystem::create_directories(captures);
    ChildProcess host({"./is900-host", "--port", port, "-c", aligned, "--format", "jsonl", "-q", "--capture", captures});
    std::size_t presses = 0;
    ASSERT_TRUE(host.waitForLine([&](const std::string& line) {
        presses += line.find("\"station\":2,") != std::string::npos && line.find("\"buttons\":[1") != std::string::npos;
        return presses == 6;
    }, 180000)) << host.errors();
    const Took took = taken(host.outputLines());
    ASSERT_EQ(took.points.size(), 6u);
    for (int n = 0; n < 6; ++n) {
        SCOPED_TRACE("point " + std::to_string(n + 1));
        for (int a = 0; a < 3; ++a) EXPECT_NEAR(took.points[n][a] * 304.8, holds[n][a] * mmPerInch, 2.0);
        EXPECT_LT(degreesBetween(publishedAxes(holds[n] + 3), took.angles[n].data()), 0.2);
    }

    // The eyes: the first two points touched, seen from the head sensor.
    {
        std::ofstream file(output);
        for (const std::string& line : host.outputLines()) file << line << "\n";
    }
    ChildProcess eyes({"./is900-align", "eyes", "--station", "1", "--tip-station", "2", output, "-c", aligned});
    ASSERT_EQ(eyes.waitForExit(30000), 0) << eyes.errors();
    const std::vector<double> middle = lineNumbers(eyes.output(), "sensoroffset 1 ");
    const Position left = inFrame(holds[0], head, publishedAxes(head + 3));
    const Position right = inFrame(holds[1], head, publishedAxes(head + 3));
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(middle[a] * 1000, (left[a] + right[a]) / 2 * 304.8, 2.0) << eyes.output();
    double eyeMm[6];
    ASSERT_EQ(std::sscanf(eyes.output().c_str(), "# head station 1: eyes at (%lf, %lf, %lf) mm and (%lf, %lf, %lf)",
                          eyeMm, eyeMm + 1, eyeMm + 2, eyeMm + 3, eyeMm + 4, eyeMm + 5), 6) << eyes.output();
    for (int a = 0; a < 3; ++a) {
        EXPECT_NEAR(eyeMm[a], left[a] * 304.8, 2.0);
        EXPECT_NEAR(eyeMm[3 + a], right[a] * 304.8, 2.0);
    }

    // The same from the capture of the device's line, played back through the
    // device: the stamps of a replay differ by the line's jitter, so a press's
    // second may hold a record more or less, within 0.1 mm.
    host.sendSignal(SIGTERM);
    ASSERT_EQ(host.waitForExit(30000), 0) << host.errors();
    const auto capture = std::filesystem::directory_iterator(captures)->path().string();
    ChildProcess replayed({"./is900-align", "eyes", "--station", "1", "--tip-station", "2", capture});
    ASSERT_EQ(replayed.waitForExit(120000), 0) << replayed.errors();
    const std::vector<double> again = lineNumbers(replayed.output(), "sensoroffset 1 ");
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(again[a], middle[a], 1e-4) << replayed.output();

    // The same records refused: points typed on one line, and the sensor
    // moved by 20 mm half a second before the third press.
    EXPECT_EQ(refusalOf({"room", "--station", "2", "--points", "0,0,0;0.1,0,0;0.2,0,0;0.3,0,0;0.4,0,0;0.5,0,0", output,
                         "-c", aligned}),
              "is900-align: the room points are collinear (take one off their line)");
    std::vector<std::string> lines = host.outputLines();
    moveBeforePress(lines, 3, 0.5, 0.02 / 0.3048);
    const std::string moved = writeTempFile("align-moved.jsonl", joined(lines));
    EXPECT_EQ(refusalOf({"room", "--station", "2", "--points", roomPoints(), moved, "-c", aligned}).substr(0, 61),
              "is900-align: point 3: the sensor moved while the point was ta");
}
