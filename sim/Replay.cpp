#include "sim/Replay.h"

#include "is900/hostkit/RecordSchema.h"
#include "sim/SampleInverse.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

namespace is900sim {

namespace {

using is900::hostkit::DeviceSetup;
using is900::hostkit::JsonLine;
using is900::hostkit::LineType;
using is900::hostkit::RecordKind;
using is900::hostkit::RecordView;

std::vector<StationSetup> stationsOf(const DeviceSetup& setup) {
    std::vector<StationSetup> stations;
    for (int s = 1; s <= is900::hostkit::deviceStationCount; ++s) {
        const bool tracker = setup.trackerOn[s - 1], controller = setup.controllerOn[s - 1];
        if (!tracker && !controller) continue;
        StationSetup station;
        station.number = s;
        station.kind = tracker && controller ? StationKind::both : tracker ? StationKind::tracker : StationKind::wand;
        stations.push_back(station);
    }
    return stations;
}

void applyRecord(const DeviceSetup& setup, const RecordView& record, ReplayFrame& frame) {
    frame.station = record.station;
    frame.seconds = record.stamp;
    if (record.kind == RecordKind::tracker)
        std::copy(record.pose, record.pose + 6, frame.published);
    else
        sentControls(setup, record.station, record.buttons, record.valuators, frame.buttons, frame.joystick);
}

// A record of a station the recorded device does not publish of its kind.
bool foreign(const DeviceSetup& setup, const RecordView& record) {
    const bool tracker = record.kind == RecordKind::tracker;
    if (record.station < 1 || record.station > is900::hostkit::deviceStationCount) return true;
    return !(tracker ? setup.trackerOn : setup.controllerOn)[record.station - 1];
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
    recording.setup = is900::hostkit::readDeviceSetup(file.header.options);
    recording.stations = stationsOf(recording.setup);
    if (recording.stations.empty()) throw ReplayError(path + ": the recorded device has no station switched on");
    const std::string irreversible = irreversibleSetting(recording.setup);
    if (!irreversible.empty())
        throw ReplayError(path + ": cannot undo what the recorded device did to its samples: " + irreversible +
                          "; capture the tracker's line instead (the device's capture option, or is900-host "
                          "--capture) and replay that with --replay-capture");
    std::map<int, ReplayFrame> latest; // each station's pose and controls so far
    // Before its first record of a kind, a station holds what that record
    // holds. A station's tracker and controller records of one line record
    // may be stamped a millisecond apart and replay as two frames: the first
    // must not send made-up controls (or a made-up pose), which the device
    // would publish as a record that was never recorded.
    std::set<std::pair<int, int>> seeded; // station, kind
    for (const JsonLine& line : file.lines)
        if (line.type == LineType::record && !foreign(recording.setup, line.record) &&
            seeded.insert({line.record.station, line.record.kind == RecordKind::tracker ? 0 : 1}).second)
            applyRecord(recording.setup, line.record, latest[line.record.station]);
    double firstTime = -1;
    bool lastHolds[2] = {false, false}; // the last frame holds a tracker, a controller record
    for (const JsonLine& line : file.lines) {
        if (line.type != LineType::record) continue;
        if (foreign(recording.setup, line.record))
            throw ReplayError(path + ": a " + (line.record.kind == RecordKind::tracker ? "tracker" : "controller") +
                              " record of station " + std::to_string(line.record.station) +
                              ", which the recorded device does not publish");
        ReplayFrame frame = latest[line.record.station];
        applyRecord(recording.setup, line.record, frame);
        latest[frame.station] = frame;
        if (firstTime < 0) firstTime = frame.seconds;
        frame.seconds -= firstTime;
        // The tracker and controller records of one line record arrive
        // together; records of one kind that share a millisecond were read
        // together, and each is a line record of its own.
        const int kind = line.record.kind == RecordKind::tracker ? 0 : 1;
        ReplayFrame* previous = recording.frames.empty() ? nullptr : &recording.frames.back();
        if (previous && previous->station == frame.station && !lastHolds[kind] &&
            std::fabs(previous->seconds - frame.seconds) < 5e-4) {
            const double when = previous->seconds;
            *previous = frame;
            previous->seconds = when;
        } else {
            recording.frames.push_back(frame);
            lastHolds[0] = lastHolds[1] = false;
        }
        lastHolds[kind] = true;
    }
    return recording;
}

} // namespace is900sim
