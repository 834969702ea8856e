// The host's own keys of a device's configuration, for what it does to the
// device's poses before its outputs send them: "predict MILLISECONDS
// [STATION...]" and "filter [head|wand|off|MINCUTOFF,BETA] [STATION...]".
// Read by the host, in a device's section or outside one, and never handed to
// the device, so the device's line numbers stay the file's.
#pragma once

#include "is900/hostkit/OptionLine.h"
#include "is900/hostkit/PoseProcessing.h"

#include <map>
#include <optional>
#include <string>

struct FilterChoice {
    bool on = true;
    std::optional<is900::hostkit::OneEuroSettings> settings; // none: the station's default, a head's or a wand's
};

// By station; 0 for every station that no line names.
struct ProcessingKeys {
    std::map<int, double> predictMilliseconds;
    std::map<int, FilterChoice> filter;

    bool any() const { return !predictMilliseconds.empty() || !filter.empty(); }
    // What a station's poses go through; a wand (a station with buttons)
    // takes a wand's default filter.
    is900::hostkit::PoseProcessing forStation(int station, bool wand) const;
};

// Whether the line holds one of these keys; if so, reads it into keys or
// throws ConfigError, its message starting with `where` ("head.cfg:12: ").
bool readProcessingKey(const is900::hostkit::OptionLine& line, const std::string& where, ProcessingKeys& keys);
