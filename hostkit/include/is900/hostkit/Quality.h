// Tracking-quality figures per device and station, computed in one place for
// every output and report that shows them. The monitor is fed records and a
// device's state changes and set-ups, each with the caller's time (seconds on
// a steady clock; it never reads a clock itself), and answers snapshots.
//
// Counted records: a station's tracker records, or its controller records
// while it has given none (a controller-only station); a wand's controller
// records do not count twice.
// Rate: counted records after the window's start over its length, the window
// being the last rateWindow seconds, or since the first record when shorter.
// Period: the median of the last intervals between counted records that
// were no gaps, never below 1 / highestRate (so that records arriving in
// bursts do not make it near zero); known from the ninth record on.
// Stillness: over the tracker poses of the last noiseWindow seconds, the RMS
// distance of the positions from their mean (mm) and the RMS angle of the
// orientations from their mean orientation (degrees). A station is moving
// when either is above its moving limit (10 mm, 1 degree); it then has no
// noise figures.
//
// One caller at a time: the monitor does not lock.
#pragma once

#include "is900/hostkit/QualityFigures.h"
#include "is900/hostkit/RecordSchema.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace is900 {
namespace hostkit {

struct QualitySettings {
    double rateWindow = 10;        // seconds
    double noiseWindow = 10;       // seconds
    double gapPeriods = 5;         // record periods without a record that make a gap
    double highestRate = 120;      // the most records a station sends a second
    double historySeconds = 600;   // how long gaps, states and set-ups are listed
    double movingPositionMm = 10;  // position RMS above which a station is moving
    double movingAngleDeg = 1;     // angle RMS above which a station is moving
    int noisePoses = 10;           // the fewest poses in the noise window for figures
};

class QualityMonitor {
public:
    explicit QualityMonitor(QualitySettings settings = QualitySettings());
    ~QualityMonitor();
    QualityMonitor(const QualityMonitor&) = delete;
    QualityMonitor& operator=(const QualityMonitor&) = delete;

    // Times never go back; an earlier one is taken as the latest seen.
    void addRecord(const RecordView& record, double time);
    void noteState(const std::string& device, const std::string& state, double time);
    void noteSetUp(const std::string& device, double time);

    // Every device seen, by name, as it is at now (no earlier than the
    // times fed). Linear in the records of the windows.
    std::vector<DeviceQuality> snapshot(double now) const;

private:
    struct Device;
    QualitySettings settings_;
    std::map<std::string, std::unique_ptr<Device>> devices_;

    Device& device(const std::string& name);
};

} // namespace hostkit
} // namespace is900
