// is900-sim: an IS-900 tracker on a pseudo-terminal, for running the plug-in
// without the hardware.
#include "sim/CaptureFile.h"
#include "sim/Replay.h"
#include "sim/Simulator.h"
#include "sim/platform/StopSignals.h"

#include "rules/OptionWords.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <mutex>
#include <vector>

namespace {

struct ProgramOptions {
    is900sim::SimulatorOptions simulator;
    std::vector<std::string> stations;
    std::vector<std::string> stillPoses, gaps, motions, holds, swivels, tips;
    std::string noise, transmitter;
    std::string units = "inches";
    std::string recordLogPath;
    double duration = 0;
    unsigned garbageEvery = 0, truncateEvery = 0, crLfEvery = 0;
    double silenceAt = -1;
    unsigned long silenceMs = 0;
    double hangUpAfter = -1;
    double unplugAt = -1, unplugFor = 3;
    double powerCycleAt = -1, powerCycleFor = 3;
    bool quiet = false;
    std::string replayPath;
    std::string capturePath;
};

void addOptions(CLI::App& app, ProgramOptions& o) {
    app.add_option("--station", o.stations,
                   "A station as NUMBER:KIND, KIND tracker (moving sensor), wand (buttons and joystick) or both; "
                   "repeat for more stations (default 1:tracker)");
    app.add_option("--rate", o.simulator.updateRate, "Records per second per station, at most (default 120)");
    app.add_option("--baud", o.simulator.baudRate,
                   "Line speed used to pace the output; 0 reads the speed the port was set to (default 0)");
    app.add_option("--reset-silence", o.simulator.resetSilenceMs,
                   "Milliseconds the tracker is silent and deaf after Ctrl-Y (default 20000)");
    app.add_option("--units", o.units, "Position unit: inches or cm (default inches)")
        ->check(CLI::IsMember({"inches", "cm"}));
    app.add_option("--seed", o.simulator.seed, "Seed of the motion noise, buttons and joystick (default 1)");
    app.add_flag("--stream", o.simulator.startStreaming,
                 "Power up in binary continuous mode instead of ASCII, not continuous");
    app.add_option("--link", o.simulator.linkPath, "Make a symbolic link with this path to the pseudo-terminal");
    app.add_option("--command-log", o.simulator.commandLogPath, "Write every command received to this file, one a line");
    app.add_option("--record-log", o.recordLogPath, "Write every record sent to this file, one a line");
    app.add_option("--duration", o.duration, "Seconds to run; 0 runs until SIGINT or SIGTERM (default 0)");
    app.add_option("--garbage-every", o.garbageEvery, "Send 5 garbage bytes after every N-th record");
    app.add_option("--truncate-every", o.truncateEvery, "Cut the record after every N-th record to 10 bytes");
    app.add_option("--crlf-every", o.crLfEvery, "Put the bytes 0D 0A into x of a record after every N-th record");
    app.add_option("--silence-at", o.silenceAt, "Seconds after the start at which the output stops for a while");
    app.add_option("--silence-ms", o.silenceMs, "Milliseconds of silence for --silence-at");
    app.add_option("--hangup-after", o.hangUpAfter, "Seconds after the start at which the line hangs up");
    app.add_option("--unplug-at", o.unplugAt,
                   "Seconds after the start at which the cable is pulled: the terminal closes and the --link "
                   "path disappears");
    app.add_option("--unplug-for", o.unplugFor,
                   "Seconds until a new terminal appears under the same --link path (default 3)");
    app.add_option("--power-cycle-at", o.powerCycleAt,
                   "Seconds after the start at which the tracker is switched off and on again");
    app.add_option("--power-cycle-for", o.powerCycleFor,
                   "Seconds the tracker is silent and deaf before it answers in its power-up state (default 3)");
    app.add_option("--boot-time", o.simulator.bootMs,
                   "Milliseconds a tracker switched on by --power-cycle-at takes to boot, silent and deaf "
                   "(default 3000)");
    app.add_flag("--quiet", o.quiet, "Do not log to stderr");
    app.add_option("--replay", o.replayPath,
                   "Play back a recording of is900-host (--record) instead of moving; its stations and unit replace "
                   "--station and --units");
    app.add_option("--replay-capture", o.capturePath,
                   "Play back the tracker's side of a plug-in's capture (its capture option) byte for byte, from "
                   "the moment the streaming set-up arrives")
        ->excludes("--replay");
    app.add_option("--speed", o.simulator.captureSpeed,
                   "With --replay-capture: divide the spacing between chunks by this (default 1); captured read "
                   "time-outs stay time-outs")
        ->needs("--replay-capture")
        ->check(CLI::PositiveNumber);
    app.add_flag("--loop", o.simulator.loop,
                 "With --replay or --replay-capture: start over at the end instead of going silent");
    // What moves the stations has no place in a replay.
    const auto notWithReplays = [](CLI::Option* option) { option->excludes("--replay")->excludes("--replay-capture"); };
    const struct {
        const char* name;
        std::vector<std::string>* values;
        const char* help;
    } moves[] = {
        {"--still", &o.stillPoses,
         "A station held still at a pose, as STATION:X,Y,Z,AZIM,ELEV,ROLL: position in --units, angles in degrees; "
         "only --noise moves it; repeat for more stations"},
        {"--motion", &o.motions,
         "A station that follows a scripted motion on the simulator's clock, as STATION:NAME, NAME one of head-turn "
         "(90 degrees in 0.4 s, then still), wand-swing (50 cm at up to 2 m/s, then held) and walk (1.2 m/s, then "
         "standing); each repeats; --noise adds to it; repeat for more stations"},
        {"--hold", &o.holds,
         "A station held in turn at room poses, as STATION:X,Y,Z[,AZIM,ELEV,ROLL] (--units, degrees), 1.5 s at each "
         "(the first 5 s longer at the start) and 0.5 s between; a wand's first button is pressed 1.2 s into each "
         "hold; repeat for more poses"},
        {"--swivel", &o.swivels,
         "A station swivelled about a pivot held still, as STATION:X,Y,Z[,AZIM,ELEV,ROLL], up to 30 degrees either way"},
        {"--tip", &o.tips,
         "A station's held or moved point is a tip at X,Y,Z (--units) in the sensor's frame, as STATION:X,Y,Z; the "
         "sensor sits behind it"},
    };
    for (const auto& move : moves) notWithReplays(app.add_option(move.name, *move.values, move.help));
    notWithReplays(app.add_option("--noise", o.noise,
                   "Gaussian noise on every station's pose, as MM,DEG: the standard deviation of each of x, y, z in "
                   "millimetres and of each component of a small random rotation in degrees (default 1.5,0)"));
    notWithReplays(app.add_option("--transmitter", o.transmitter,
                   "Where the transmitter stands in the room, as X,Y,Z,AX,AY,AZ,ANGLE: a point p of its frame is "
                   "at p turned by ANGLE degrees about the axis, plus X,Y,Z (--units); the stations' poses are "
                   "the room's"));
    app.add_option("--gap", o.gaps,
                   "No records of a station (of every station without STATION) for LENGTH seconds from SECONDS "
                   "after the start, as SECONDS:LENGTH[:STATION]; the other stations and the commands carry on; "
                   "repeat for more gaps")
        ->excludes("--replay-capture");
}

bool parseStations(ProgramOptions& o) {
    if (o.stations.empty()) return true;
    o.simulator.stations.clear();
    for (const std::string& text : o.stations) {
        is900sim::StationSetup setup;
        std::size_t colon = text.find(':');
        try {
            setup.number = std::stoi(text.substr(0, colon));
        } catch (const std::exception&) {
            setup.number = 0;
        }
        if (colon == std::string::npos || setup.number < 1 || setup.number > 12 ||
            !is900sim::parseStationKind(text.substr(colon + 1), setup.kind)) {
            std::cerr << "is900-sim: bad --station " << text << " (want NUMBER:KIND, NUMBER 1 to 12)\n";
            return false;
        }
        o.simulator.stations.push_back(setup);
    }
    return true;
}

// Numbers with one character between them, each read whole.
bool parseNumbers(const std::string& text, char separator, std::vector<double>& numbers) {
    numbers.clear();
    for (std::size_t begin = 0;;) {
        const std::size_t end = std::min(text.find(separator, begin), text.size());
        const std::string part = text.substr(begin, end - begin);
        char* stop = nullptr;
        const double value = std::strtod(part.c_str(), &stop);
        if (part.empty() || *stop != '\0' || !std::isfinite(value)) return false;
        numbers.push_back(value);
        if (end == text.size()) return true;
        begin = end + 1;
    }
}

bool isStation(const ProgramOptions& o, double number) {
    for (const is900sim::StationSetup& station : o.simulator.stations)
        if (station.number == number) return true;
    return false;
}

bool refuse(const char* option, const std::string& text, const char* wanted) {
    std::cerr << "is900-sim: bad " << option << " " << text << " (want " << wanted << ")\n";
    return false;
}

// "STATION:NUMBERS" with one of the counts given.
bool stationNumbers(const ProgramOptions& o, const std::string& text, std::vector<std::size_t> counts, int& station,
                    std::vector<double>& numbers) {
    const std::size_t colon = text.find(':');
    std::vector<double> number;
    if (colon == std::string::npos || !parseNumbers(text.substr(0, colon), ',', number) || number.size() != 1 ||
        !isStation(o, number[0]) || !parseNumbers(text.substr(colon + 1), ',', numbers) ||
        std::find(counts.begin(), counts.end(), numbers.size()) == counts.end())
        return false;
    station = static_cast<int>(number[0]);
    return true;
}

is900sim::RoomPose roomPose(const std::vector<double>& numbers, double centimetresPerUnit) {
    is900sim::RoomPose pose;
    for (std::size_t axis = 0; axis < numbers.size(); ++axis)
        (axis < 3 ? pose.position[axis] : pose.angles[axis - 3]) = numbers[axis] * (axis < 3 ? centimetresPerUnit : 1);
    return pose;
}

// --hold, --swivel, --tip and --transmitter.
bool parsePlacement(ProgramOptions& o, double centimetresPerUnit) {
    std::vector<double> numbers;
    int station = 0;
    const auto scripted = [&o](int number) -> is900sim::ScriptedMotion* {
        for (is900sim::ScriptedMotion& motion : o.simulator.scripts)
            if (motion.station == number) return &motion;
        return nullptr;
    };
    for (const std::string& text : o.holds) {
        if (!stationNumbers(o, text, {3, 6}, station, numbers) ||
            (scripted(station) && scripted(station)->script != is900sim::MotionScript::holds))
            return refuse("--hold", text, "STATION:X,Y,Z[,AZIM,ELEV,ROLL], STATION one of the stations, moved by no other script");
        if (!scripted(station)) o.simulator.scripts.push_back({station, is900sim::MotionScript::holds, {}});
        scripted(station)->points.push_back(roomPose(numbers, centimetresPerUnit));
    }
    for (const std::string& text : o.swivels) {
        if (!stationNumbers(o, text, {3, 6}, station, numbers) || scripted(station))
            return refuse("--swivel", text, "STATION:X,Y,Z[,AZIM,ELEV,ROLL], STATION one of the stations, moved by no other script");
        o.simulator.scripts.push_back({station, is900sim::MotionScript::swivel, {roomPose(numbers, centimetresPerUnit)}});
    }
    for (const std::string& text : o.tips) {
        if (!stationNumbers(o, text, {3}, station, numbers)) return refuse("--tip", text, "STATION:X,Y,Z, STATION one of the stations");
        is900sim::SensorTip tip{station, {}};
        for (int axis = 0; axis < 3; ++axis) tip.offset[axis] = numbers[axis] * centimetresPerUnit;
        o.simulator.tips.push_back(tip);
    }
    if (o.transmitter.empty()) return true;
    if (!parseNumbers(o.transmitter, ',', numbers) || numbers.size() != 7 ||
        (numbers[3] == 0 && numbers[4] == 0 && numbers[5] == 0))
        return refuse("--transmitter", o.transmitter, "X,Y,Z,AX,AY,AZ,ANGLE, the axis not zero");
    is900sim::TransmitterPlacement& placement = o.simulator.transmitter;
    for (int axis = 0; axis < 3; ++axis) {
        placement.offset[axis] = numbers[axis] * centimetresPerUnit;
        placement.axis[axis] = numbers[3 + axis];
    }
    placement.angleDegrees = numbers[6];
    return true;
}

// --still, --motion, --noise and --gap, once the stations and the unit are known.
bool parseQuality(ProgramOptions& o) {
    const double centimetresPerUnit = o.simulator.centimetres ? 1.0 : optionwords::centimetresPerInch;
    std::vector<double> station, numbers;
    for (const std::string& text : o.stillPoses) {
        const std::size_t colon = text.find(':');
        if (colon == std::string::npos || !parseNumbers(text.substr(0, colon), ',', station) || station.size() != 1 ||
            !isStation(o, station[0]) || !parseNumbers(text.substr(colon + 1), ',', numbers) || numbers.size() != 6)
            return refuse("--still", text, "STATION:X,Y,Z,AZIM,ELEV,ROLL, STATION one of the stations");
        is900sim::StillPose pose;
        pose.station = static_cast<int>(station[0]);
        for (int axis = 0; axis < 3; ++axis) {
            pose.position[axis] = numbers[axis] * centimetresPerUnit;
            pose.angles[axis] = numbers[axis + 3];
        }
        o.simulator.stillPoses.push_back(pose);
    }
    const std::map<std::string, is900sim::MotionScript> scripts = {{"head-turn", is900sim::MotionScript::headTurn},
                                                                 {"wand-swing", is900sim::MotionScript::wandSwing},
                                                                 {"walk", is900sim::MotionScript::walk}};
    for (const std::string& text : o.motions) {
        const std::size_t colon = text.find(':');
        const auto script = colon == std::string::npos ? scripts.end() : scripts.find(text.substr(colon + 1));
        if (script == scripts.end() || !parseNumbers(text.substr(0, colon), ',', station) || station.size() != 1 ||
            !isStation(o, station[0]))
            return refuse("--motion", text, "STATION:NAME, NAME head-turn, wand-swing or walk, STATION one of the stations");
        o.simulator.scripts.push_back(is900sim::ScriptedMotion{static_cast<int>(station[0]), script->second, {}});
    }
    if (!parsePlacement(o, centimetresPerUnit)) return false;
    if (!o.noise.empty()) {
        if (!parseNumbers(o.noise, ',', numbers) || numbers.size() != 2 || numbers[0] < 0 || numbers[1] < 0)
            return refuse("--noise", o.noise, "MM,DEG, neither negative");
        o.simulator.noise = is900sim::SensorNoise{numbers[0], numbers[1]};
    }
    for (const std::string& text : o.gaps) {
        if (!parseNumbers(text, ':', numbers) || numbers.size() < 2 || numbers.size() > 3 || numbers[0] < 0 ||
            numbers[1] <= 0 || (numbers.size() == 3 && !isStation(o, numbers[2])))
            return refuse("--gap", text, "SECONDS:LENGTH[:STATION], LENGTH above 0, STATION one of the stations");
        o.simulator.gaps.push_back(
            is900sim::RecordGap{numbers[0], numbers[1], numbers.size() == 3 ? static_cast<int>(numbers[2]) : 0});
    }
    return true;
}

std::string recordLine(const is900sim::SentRecord& r) {
    char text[256];
    std::snprintf(text, sizeof text, "%llu station %d%s%s%s pos %.3f %.3f %.3f ang %.3f %.3f %.3f buttons %u joystick %u %u bytes",
                  static_cast<unsigned long long>(r.sequence), r.station, r.binary ? "" : " ascii",
                  r.truncated ? " truncated" : "", r.crLfInside ? " crlf" : "", r.position[0], r.position[1],
                  r.position[2], r.angles[0], r.angles[1], r.angles[2], r.buttons, r.joystick[0], r.joystick[1]);
    std::string line = text;
    for (uint8_t byte : r.bytes) {
        std::snprintf(text, sizeof text, " %02X", byte);
        line += text;
    }
    return line;
}

void installFaults(is900sim::Simulator& simulator, const ProgramOptions& o, std::ofstream& recordLog,
                   std::mutex& recordLogMutex) {
    auto count = std::make_shared<uint64_t>(0);
    simulator.setRecordCallback([&simulator, &o, &recordLog, &recordLogMutex, count](const is900sim::SentRecord& record) {
        ++*count;
        if (o.garbageEvery && *count % o.garbageEvery == 0) simulator.injectGarbage({'x', 0x0D, '0', 0x0A, 0xFF});
        if (o.truncateEvery && *count % o.truncateEvery == 0) simulator.truncateNextRecord(10);
        if (o.crLfEvery && *count % o.crLfEvery == 0) simulator.forceCrLfInNextRecord();
        std::lock_guard<std::mutex> lock(recordLogMutex);
        if (recordLog.is_open()) recordLog << recordLine(record) << std::endl;
    });
}

unsigned long milliseconds(double seconds) { return static_cast<unsigned long>(seconds * 1000 + 0.5); }

// The faults of the command line at their times, until --duration or a stop signal.
void runTimeline(is900sim::Simulator& simulator, const ProgramOptions& o) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point begin = Clock::now();
    const auto at = [begin](double seconds) {
        return seconds < 0 ? Clock::time_point::max()
                           : begin + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    };
    struct Event {
        Clock::time_point due;
        std::function<void()> act;
    };
    std::vector<Event> events{
        {at(o.silenceAt), [&] { simulator.silence(o.silenceMs); }},
        {at(o.unplugAt), [&] { simulator.unplug(milliseconds(o.unplugFor)); }},
        {at(o.powerCycleAt), [&] { simulator.powerCycle(milliseconds(o.powerCycleFor)); }},
        {at(o.hangUpAfter),
         [&] {
             simulator.hangUp();
             if (!o.quiet) std::cerr << "is900-sim: hung up the line\n";
         }},
    };
    const Clock::time_point end = o.duration > 0 ? at(o.duration) : Clock::time_point::max();
    for (;;) {
        Clock::time_point next = end;
        for (Event& event : events) {
            if (event.due <= Clock::now()) {
                event.act();
                event.due = Clock::time_point::max();
            }
            next = std::min(next, event.due);
        }
        if (next == end && end <= Clock::now()) return;
        if (simplatform::stopSignalBefore(next)) return;
    }
}

bool loadReplay(ProgramOptions& o) {
    try {
        auto recording = std::make_shared<is900sim::Recording>(is900sim::readRecording(o.replayPath));
        o.simulator.stations = recording->stations;
        o.simulator.centimetres = recording->setup.centimetres;
        o.simulator.replay = recording;
        return true;
    } catch (const is900sim::ReplayError& error) {
        std::cerr << "is900-sim: " << error.what() << "\n";
        return false;
    }
}

bool loadCapture(ProgramOptions& o) {
    try {
        auto capture = std::make_shared<is900sim::Capture>(is900sim::readCapture(o.capturePath));
        if (capture->lastChunkCutShort)
            std::cerr << "is900-sim: warning: " << o.capturePath << ": the last chunk, at byte offset "
                      << capture->cutShortOffset << ", is cut short; it is replayed up to its end\n";
        o.simulator.capture = capture;
        return true;
    } catch (const is900sim::CaptureError& error) {
        std::cerr << "is900-sim: " << error.what() << "\n";
        return false;
    }
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"is900-sim: an IS-900 tracker on a pseudo-terminal. Prints the path of the terminal's slave side on "
                 "standard output; open that path (or the --link) as the tracker's serial port."};
    ProgramOptions o;
    addOptions(app, o);
    CLI11_PARSE(app, argc, argv);
    if (!parseStations(o)) return 2;
    if (o.unplugAt >= 0 && o.simulator.linkPath.empty())
        std::cerr << "is900-sim: note: without --link the line comes back under a new path after --unplug-at\n";
    o.simulator.centimetres = o.units == "cm";
    if (!o.replayPath.empty() && !loadReplay(o)) return 2;
    if (!o.capturePath.empty() && !loadCapture(o)) return 2;
    if (!parseQuality(o)) return 2;
    if (o.simulator.loop && o.replayPath.empty() && o.capturePath.empty()) {
        std::cerr << "is900-sim: --loop needs --replay or --replay-capture\n";
        return 2;
    }
    o.simulator.logToStderr = !o.quiet;

    simplatform::blockStopSignals();
    std::ofstream recordLog;
    std::mutex recordLogMutex;
    if (!o.recordLogPath.empty()) recordLog.open(o.recordLogPath, std::ios::out | std::ios::trunc);
    is900sim::Simulator simulator(o.simulator);
    installFaults(simulator, o, recordLog, recordLogMutex);
    if (!simulator.start()) {
        std::cerr << "is900-sim: " << simulator.errorText() << "\n";
        return 1;
    }
    std::cout << simulator.slavePath() << std::endl;
    runTimeline(simulator, o);
    simulator.stop();
    if (!o.quiet) std::cerr << "is900-sim: stopped after " << simulator.recordsSent() << " records\n";
    return 0;
}
