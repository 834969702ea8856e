// What is900-align reads from a host: its JSON lines, from a record file, a
// pipe or the web view's event stream, gathered per station: the poses with
// their times and the moments a wand's first button went down. A press takes
// the point the station held still for the second before it.
#pragma once

#include "is900/hostkit/Alignment.h"
#include "is900/hostkit/DeviceSetup.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace is900align {

using is900::hostkit::Pose;

struct TimedPose {
    double time = 0; // the record's stamp, seconds since 1970
    Pose pose{};
};

struct StationTakes {
    std::vector<TimedPose> poses;
    std::vector<double> presses; // when the station's first button went down
    bool buttonDown = false;
};

struct Takes {
    std::map<int, StationTakes> stations;
    bool hasHeader = false;                  // a record file's first line was read
    is900::hostkit::DeviceSetup setup;       // the recorded device's, when hasHeader
    std::string device;                      // the device of the first record

    // Adds one JSON line; lines of another device than the first are skipped.
    void add(const std::string& line);
    std::size_t pressCount(int station) const;
    // The poses of the second before each press, or, for a station without
    // presses, of each still stretch: a second the sensor held still.
    std::vector<std::vector<Pose>> points(int station) const;
    // The poses between the first two presses, or all of them without two presses.
    std::vector<Pose> swivel(int station) const;
    // The station's poses from start to end (stamps).
    std::vector<Pose> between(int station, double start, double end) const;
};

class SourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads a source line by line into takes until enough(takes) or its end: a
// file path, "-" for standard input, or http://HOST:PORT for the events of a
// host's web view. Throws SourceError for a source that cannot be read.
void readSource(const std::string& source, Takes& takes, const std::function<bool(const Takes&)>& enough);

} // namespace is900align
