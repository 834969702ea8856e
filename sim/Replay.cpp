#include "sim/Replay.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>

namespace is900sim {

namespace {

// The device's conversion constants, as 32-bit floats like its own.
const float inchesToFeet = 0.083333336f;
const float centimetresToFeet = 0.0328084f;

// A field of one flat JSON object: the text after "key": up to the value's end.
bool fieldText(const std::string& line, const std::string& key, std::size_t& at) {
    const std::string quotedKey = "\"" + key + "\":";
    const std::size_t found = line.find(quotedKey);
    if (found == std::string::npos) return false;
    at = found + quotedKey.size();
    return true;
}

bool numberField(const std::string& line, const std::string& key, double& value) {
    std::size_t at;
    if (!fieldText(line, key, at)) return false;
    char* end = nullptr;
    value = std::strtod(line.c_str() + at, &end);
    return end != line.c_str() + at && std::isfinite(value);
}

bool stringField(const std::string& line, const std::string& key, std::string& value) {
    std::size_t at;
    if (!fieldText(line, key, at) || at >= line.size() || line[at] != '"') return false;
    const std::size_t end = line.find('"', at + 1);
    if (end == std::string::npos) return false;
    value = line.substr(at + 1, end - at - 1);
    return true;
}

bool numberArray(const std::string& line, const std::string& key, std::vector<double>& values) {
    std::size_t at;
    if (!fieldText(line, key, at) || at >= line.size() || line[at] != '[') return false;
    const char* text = line.c_str() + at + 1;
    values.clear();
    while (*text != ']') {
        char* end = nullptr;
        values.push_back(std::strtod(text, &end));
        if (end == text || (*end != ',' && *end != ']')) return false;
        text = *end == ',' ? end + 1 : end;
    }
    return true;
}

bool readHeader(const std::string& line, Recording& recording) {
    std::string type, units;
    double version;
    if (!stringField(line, "type", type) || type != "recording" || !numberField(line, "version", version) ||
        version != 1 || !stringField(line, "units", units) || (units != "inches" && units != "cm"))
        return false;
    recording.centimetres = units == "cm";
    std::size_t at;
    if (!fieldText(line, "cave", at)) return false;
    recording.cave = line.compare(at, 4, "true") == 0;
    if (!fieldText(line, "stations", at)) return false;
    for (std::size_t entry = line.find('{', at); entry != std::string::npos; entry = line.find('{', entry + 1)) {
        const std::string object = line.substr(entry, line.find('}', entry) - entry + 1);
        double number;
        std::string kind;
        StationSetup setup;
        if (!numberField(object, "station", number) || !stringField(object, "kind", kind)) return false;
        setup.number = static_cast<int>(number);
        if (kind == "controller") kind = "wand";
        if (setup.number < 1 || setup.number > 8 || !parseStationKind(kind, setup.kind)) return false;
        recording.stations.push_back(setup);
    }
    return !recording.stations.empty();
}

// A valuator of -1..1 back to the joystick byte the device reads it from.
uint8_t joystickByte(double valuator) {
    const long raw = 127 + std::lround(valuator > 0 ? valuator * 128 : valuator * 127);
    return static_cast<uint8_t>(raw < 0 ? 0 : raw > 255 ? 255 : raw);
}

bool applyRecord(const std::string& line, ReplayFrame& frame) {
    std::string type;
    double station, time;
    if (!stringField(line, "type", type) || !numberField(line, "station", station) || !numberField(line, "time", time))
        return false;
    frame.station = static_cast<int>(station);
    frame.seconds = time;
    if (type == "tracker") {
        const char* names[6] = {"x", "y", "z", "azim", "elev", "roll"};
        for (int i = 0; i < 6; ++i)
            if (!numberField(line, names[i], frame.published[i])) return false;
        return true;
    }
    std::vector<double> buttons, valuators;
    if (type != "controller" || !numberArray(line, "buttons", buttons) || !numberArray(line, "valuators", valuators))
        return false;
    frame.buttons = 0;
    for (std::size_t n = 0; n < buttons.size() && n < 8; ++n)
        if (buttons[n] != 0) frame.buttons |= static_cast<uint8_t>(1u << n);
    for (std::size_t i = 0; i < 2; ++i) frame.joystick[i] = joystickByte(i < valuators.size() ? valuators[i] : 0);
    return true;
}

} // namespace

Recording readRecording(const std::string& path) {
    std::ifstream file(path);
    if (!file) throw ReplayError("cannot read the recording '" + path + "'");
    Recording recording;
    std::string line;
    if (!std::getline(file, line) || !readHeader(line, recording))
        throw ReplayError(path + ": the first line is no recording header");
    std::map<int, ReplayFrame> latest; // each station's pose and controls so far
    double firstTime = -1;
    for (int number = 2; std::getline(file, line); ++number) {
        std::string type;
        if (stringField(line, "type", type) && type == "status") continue;
        ReplayFrame frame;
        double station;
        if (numberField(line, "station", station)) frame = latest[static_cast<int>(station)];
        if (!applyRecord(line, frame))
            throw ReplayError(path + ":" + std::to_string(number) + ": malformed line");
        latest[frame.station] = frame;
        if (firstTime < 0) firstTime = frame.seconds;
        frame.seconds -= firstTime;
        // The tracker and controller records of one line record arrive together.
        ReplayFrame* previous = recording.frames.empty() ? nullptr : &recording.frames.back();
        if (previous && previous->station == frame.station && std::fabs(previous->seconds - frame.seconds) < 5e-4) {
            const double when = previous->seconds;
            *previous = frame;
            previous->seconds = when;
        } else {
            recording.frames.push_back(frame);
        }
    }
    return recording;
}

void sentPose(const Recording& recording, const double published[6], double stepFraction, float position[3],
              float angles[3]) {
    const float k = recording.centimetres ? centimetresToFeet : inchesToFeet;
    const double step = 1e-5;
    float p[6];
    for (int i = 0; i < 6; ++i) {
        const double away = published[i] > 0 ? stepFraction * step : published[i] < 0 ? -stepFraction * step : 0;
        p[i] = static_cast<float>(published[i] + away);
    }
    const float sent[6] = {p[0] / k, p[1] / k, p[2] / k, p[3], p[4], p[5]};
    const float cave[6] = {-p[2] / k, p[0] / k, -p[1] / k, -p[3], p[4], -p[5]};
    const float* chosen = recording.cave ? cave : sent;
    std::copy(chosen, chosen + 3, position);
    std::copy(chosen + 3, chosen + 6, angles);
}

} // namespace is900sim
