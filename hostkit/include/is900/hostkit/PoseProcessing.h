// Poses for the moment they are used: a filter that calms a sensor at rest
// without lagging in motion (the One Euro filter of Casiez, Roussel and
// Vogel, CHI 2012) and a prediction that carries the recent motion some
// milliseconds ahead. Poses as a host publishes them (x, y, z in feet;
// azimuth, elevation, roll in degrees); times in seconds on a steady clock.
// Orientations are filtered and extrapolated as rotations, never angle by
// angle.
#pragma once

#include <array>
#include <deque>
#include <optional>
#include <string>

namespace is900 {
namespace hostkit {

// The filter's cut-off is minCutoffHz at rest and rises by beta Hz for each
// metre a second of the position's speed (each radian a second of the
// orientation's): slow motion is smoothed, fast motion followed closely.
struct OneEuroSettings {
    double minCutoffHz = 0.3;
    double beta = 12;
    // A head moves slower than a wand: it can be smoothed more at the same lag.
    static OneEuroSettings head() { return {0.3, 12}; }
    static OneEuroSettings wand() { return {0.5, 16}; }
};

struct PoseProcessing {
    std::optional<OneEuroSettings> filter;
    double predictMilliseconds = 0; // 0: no prediction
    bool any() const { return filter || predictMilliseconds > 0; }
    // "filter 0.3 12; predict 20 ms", "filter 0.3 12", "predict 20 ms", or "none".
    std::string describe() const;
};

// The processing of one station's poses, record by record, in the order they
// were read; each record's time is when it was read.
class PoseProcessor {
public:
    explicit PoseProcessor(PoseProcessing settings) : settings_(settings) {}
    std::array<float, 6> process(double seconds, const float pose[6]);

private:
    struct Sample {
        double time;
        std::array<double, 3> position; // metres
        std::array<double, 4> rotation; // w, x, y, z
    };
    void filter(Sample& sample);
    void predict(Sample& sample);

    PoseProcessing settings_;
    std::optional<Sample> filtered_;
    std::array<double, 3> velocity_{};     // m/s, itself smoothed
    std::array<double, 3> turnVelocity_{}; // rad/s, about the sensor's axes, itself smoothed
    std::deque<Sample> recent_;     // the last ones the prediction fits
};

} // namespace hostkit
} // namespace is900
