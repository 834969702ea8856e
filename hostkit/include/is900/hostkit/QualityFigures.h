// A device's tracking quality as plain figures: what QualityMonitor's
// snapshot returns and a quality line carries. Times are on the caller's
// steady clock, in seconds; an empty optional is a figure not available
// (written as null).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace is900 {
namespace hostkit {

// More than QualitySettings::gapPeriods record periods without a record.
struct QualityGap {
    double start = 0;  // the time of the last record before it
    double length = 0; // to the first record after it, or to the snapshot while it lasts
    bool ongoing = false;
};

struct StationQuality {
    int station = 0;
    uint64_t records = 0;         // counted records since the first
    std::optional<double> rate;   // counted records per second over the rate window
    std::optional<double> period; // the estimated record period, seconds
    uint64_t gapCount = 0;        // since the first record, an ongoing gap included
    double longestGap = 0;        // seconds; 0: none
    std::optional<double> ongoingGap; // the ongoing gap's length so far
    std::vector<QualityGap> gaps;     // those begun within the history period, oldest first
    std::optional<bool> moving;       // none without tracker poses in the noise window
    std::optional<double> positionNoiseMm;     // none while moving
    std::optional<double> orientationNoiseDeg; // none while moving
};

struct DeviceStateChange {
    double time = 0;
    std::string state; // the status line's state word
};

struct DeviceSetUp {
    double time = 0;
    bool repeated = false;              // not the device's first set-up
    std::optional<double> sinceRecord;  // from the device's last record to it; none before any record
};

struct DeviceQuality {
    std::string device;
    double time = 0;                      // the snapshot's
    std::vector<StationQuality> stations; // by station number
    // Within the history period, oldest first; the states begin with the
    // last change before it, so that they say the state all through it.
    std::vector<DeviceStateChange> states;
    std::vector<DeviceSetUp> setUps;
};

} // namespace hostkit
} // namespace is900
