#include "sim/Replay.h"

#include "is900/hostkit/RecordSchema.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace is900sim {

namespace {

// The device's conversion constants, as 32-bit floats like its own.
const float inchesToFeet = 0.083333336f;
const float centimetresToFeet = 0.0328084f;

using is900::hostkit::JsonLine;
using is900::hostkit::LineType;
using is900::hostkit::RecordKind;
using is900::hostkit::RecordView;

std::vector<StationSetup> stationsOf(const is900::hostkit::RecordingHeader& header) {
    std::vector<StationSetup> stations;
    for (const is900::hostkit::RecordingStation& station : header.stations) {
        StationSetup setup;
        setup.number = station.station;
        setup.kind = station.tracker && station.controller ? StationKind::both
                     : station.tracker                     ? StationKind::tracker
                                                           : StationKind::wand;
        stations.push_back(setup);
    }
    return stations;
}

// A valuator of -1..1 back to the joystick byte the device reads it from.
uint8_t joystickByte(double valuator) {
    const long raw = 127 + std::lround(valuator > 0 ? valuator * 128 : valuator * 127);
    return static_cast<uint8_t>(raw < 0 ? 0 : raw > 255 ? 255 : raw);
}

void applyRecord(const RecordView& record, ReplayFrame& frame) {
    frame.station = record.station;
    frame.seconds = record.stamp;
    if (record.kind == RecordKind::tracker) {
        std::copy(record.pose, record.pose + 6, frame.published);
        return;
    }
    frame.buttons = 0;
    for (std::size_t n = 0; n < record.buttons.size() && n < 8; ++n)
        if (record.buttons[n]) frame.buttons |= static_cast<uint8_t>(1u << n);
    for (std::size_t i = 0; i < 2; ++i)
        frame.joystick[i] = joystickByte(i < record.valuators.size() ? record.valuators[i] : 0);
}

bool validStations(const std::vector<StationSetup>& stations) {
    for (const StationSetup& station : stations)
        if (station.number < 1 || station.number > 8) return false;
    return !stations.empty();
}

} // namespace

Recording readRecording(const std::string& path) {
    is900::hostkit::RecordFile file;
    try {
        file = is900::hostkit::readRecordFile(path);
    } catch (const is900::hostkit::SchemaError& error) {
        throw ReplayError(error.what());
    }
    Recording recording;
    recording.centimetres = file.header.centimetres;
    recording.cave = file.header.cave;
    recording.stations = stationsOf(file.header);
    if (!validStations(recording.stations)) throw ReplayError(path + ": the recording header names no stations 1 to 8");
    std::map<int, ReplayFrame> latest; // each station's pose and controls so far
    double firstTime = -1;
    for (const JsonLine& line : file.lines) {
        if (line.type != LineType::record) continue;
        ReplayFrame frame = latest[line.record.station];
        applyRecord(line.record, frame);
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
