// How closely processed poses follow the truth: a station's samples from the
// simulator's motion, read a line's delay after they were taken, go through
// a pose processing record by record; each output is compared with the true
// pose at the moment it stands for (its read time plus the prediction).
#pragma once

#include "is900/hostkit/PoseProcessing.h"
#include "sim/Simulator.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace is900sim {

struct TrialSettings {
    std::optional<MotionScript> script; // none: held still
    SensorNoise noise{0, 0};
    double seconds = 20;
    double rate = 120; // records a second
    // A 29-byte record at 115200 baud, plus up to a millisecond of the
    // host's reading, drawn from the seed.
    double lineDelaySeconds = 0.0025;
    uint32_t seed = 1;
};

// Errors against the truth, millimetres and degrees.
struct TrialErrors {
    double rmsMm = 0, p95Mm = 0;
    double rmsDeg = 0, p95Deg = 0;
};

// Spread about the mean pose: RMS distance (mm) and RMS angle (degrees).
struct TrialNoise {
    double positionMm = 0;
    double angleDeg = 0;
};

struct TrialResult {
    TrialErrors processed, unprocessed;
    TrialNoise processedNoise, unprocessedNoise;
};

TrialResult runTrial(const TrialSettings& settings, const is900::hostkit::PoseProcessing& processing);

// One output of a trial along x, millimetres, for plots: the moment it
// stands for, the true x then, the device's x and the processed x.
struct TrialSample {
    double standsFor;
    double truthMm, deviceMm, processedMm;
};
std::vector<TrialSample> trialSamples(const TrialSettings& settings, const is900::hostkit::PoseProcessing& processing);

// The time shift (milliseconds, to a tenth) by which the processed positions
// best match the unprocessed ones, on the scripted motion without noise.
double trialLagMs(MotionScript script, const is900::hostkit::PoseProcessing& processing);

} // namespace is900sim
