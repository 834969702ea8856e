#include "is900/hostkit/PoseProcessing.h"

#include "rules/Quaternion.h"
#include "rules/OptionWords.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace is900 {
namespace hostkit {

namespace {

using namespace rotation;

// The filter's speeds are smoothed with this cut-off, as the paper suggests.
const double speedCutoffHz = 1.0;
// Two records read at once have no time between them: the filter takes
// them a short period apart rather than as an infinite speed.
const double shortestInterval = 0.002;

// The prediction fits a parabola to the last poses, no older than the
// window and no more than a gap apart; below three it holds the last pose.
const std::size_t fittedPoses = 10;
const double fitWindowSeconds = 0.15;
const double gapSeconds = 0.1;
// Extrapolated steps of the size of a sensor's noise are damped: at rest the
// prediction would otherwise amplify the noise it extrapolates.
const double dampedStepMetres = 0.006;
const double dampedTurnRadians = 0.3 * pi / 180;

double smoothing(double cutoffHz, double interval) {
    const double tau = 1 / (2 * pi * cutoffHz);
    return 1 / (1 + tau / interval);
}

double damping(double step, double scale) { return step * step / (step * step + scale * scale); }

double determinant(const double m[3][3]) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// Points of six components each, at times u (seconds before the latest).
struct Fit {
    std::size_t count = 0;
    double u[fittedPoses];
    double values[fittedPoses][6];
};

// The least-squares parabola c0 + c1 u + c2 u^2 of each component, evaluated
// at `at`; false when the times do not spread enough for a parabola. Times
// are scaled to the window so that the normal equations stay well
// conditioned; the value at `at` is (1, at, at^2) times the coefficients,
// which is a weighted sum of each component's moments.
bool evaluateParabola(const Fit& fit, double at, double out[6]) {
    double span = 0;
    for (std::size_t k = 0; k < fit.count; ++k) span = std::max(span, std::fabs(fit.u[k]));
    if (span < shortestInterval) return false;
    double s[5] = {0, 0, 0, 0, 0};
    double moments[3][6] = {};
    for (std::size_t k = 0; k < fit.count; ++k) {
        const double u = fit.u[k] / span;
        double power = 1;
        for (double& sum : s) sum += power, power *= u;
        for (int c = 0; c < 6; ++c) {
            moments[0][c] += fit.values[k][c];
            moments[1][c] += fit.values[k][c] * u;
            moments[2][c] += fit.values[k][c] * u * u;
        }
    }
    const double normal[3][3] = {{s[0], s[1], s[2]}, {s[1], s[2], s[3]}, {s[2], s[3], s[4]}};
    const double det = determinant(normal);
    if (!(std::fabs(det) > 1e-6 * s[0] * s[0] * s[0])) return false;
    const double row[3] = {1, at / span, at / span * at / span};
    double weight[3]; // Cramer's rule on the symmetric normal matrix
    for (int k = 0; k < 3; ++k) {
        double m[3][3];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) m[i][j] = j == k ? row[i] : normal[i][j];
        weight[k] = determinant(m) / det;
    }
    for (int c = 0; c < 6; ++c) out[c] = weight[0] * moments[0][c] + weight[1] * moments[1][c] + weight[2] * moments[2][c];
    return true;
}

} // namespace

std::string PoseProcessing::describe() const {
    char text[80];
    std::string description;
    if (filter) {
        std::snprintf(text, sizeof text, "filter %g %g", filter->minCutoffHz, filter->beta);
        description = text;
    }
    if (predictMilliseconds > 0) {
        std::snprintf(text, sizeof text, "predict %g ms", predictMilliseconds);
        description += (description.empty() ? "" : "; ") + std::string(text);
    }
    return description.empty() ? "none" : description;
}

std::array<float, 6> PoseProcessor::process(double seconds, const float pose[6]) {
    const double metresPerFoot = optionwords::metresPerFoot;
    Sample sample{seconds, {pose[0] * metresPerFoot, pose[1] * metresPerFoot, pose[2] * metresPerFoot}, quaternionOf(pose)};
    if (settings_.filter) filter(sample);
    if (settings_.predictMilliseconds > 0) predict(sample);
    std::array<float, 6> out;
    for (int axis = 0; axis < 3; ++axis) out[axis] = static_cast<float>(sample.position[axis] / metresPerFoot);
    anglesOf(sample.rotation, &out[3]);
    return out;
}

// Each axis of the position on its own, the orientation as one rotation
// towards the new one; the cut-offs rise with the speeds of the smoothed
// velocities (smoothed with their signs, so that noise averages out).
void PoseProcessor::filter(Sample& sample) {
    if (!filtered_ || sample.time - filtered_->time > gapSeconds) {
        filtered_ = sample;
        velocity_ = {};
        turnVelocity_ = {};
        return;
    }
    Sample& last = *filtered_;
    const double interval = std::max(sample.time - last.time, shortestInterval);
    const double speedSmoothing = smoothing(speedCutoffHz, interval);
    for (int axis = 0; axis < 3; ++axis) {
        const double velocity = (sample.position[axis] - last.position[axis]) / interval;
        velocity_[axis] += speedSmoothing * (velocity - velocity_[axis]);
        const double cutoff = settings_.filter->minCutoffHz + settings_.filter->beta * std::fabs(velocity_[axis]);
        last.position[axis] += smoothing(cutoff, interval) * (sample.position[axis] - last.position[axis]);
    }
    // The turn from the filtered orientation to the new one, the shorter way
    // round; the filter goes that fraction of it.
    Triple turn = logOf(multiply(inverse(last.rotation), sample.rotation));
    for (int axis = 0; axis < 3; ++axis) turnVelocity_[axis] += speedSmoothing * (turn[axis] / interval - turnVelocity_[axis]);
    const double cutoff = settings_.filter->minCutoffHz + settings_.filter->beta * length(turnVelocity_);
    for (double& component : turn) component *= smoothing(cutoff, interval);
    last.rotation = multiply(last.rotation, expOf(turn));
    last.time = sample.time;
    sample = last;
}

// A parabola through the recent positions and rotations (as rotation vectors
// from the latest orientation), evaluated the prediction interval ahead.
void PoseProcessor::predict(Sample& sample) {
    if (!recent_.empty() && sample.time - recent_.back().time > gapSeconds) recent_.clear();
    recent_.push_back(sample);
    while (recent_.size() > fittedPoses || recent_.front().time < sample.time - fitWindowSeconds) recent_.pop_front();
    if (recent_.size() < 3) return;
    const Rotation toLatest = inverse(sample.rotation);
    Fit fit;
    for (const Sample& past : recent_) {
        const Triple turn = logOf(multiply(toLatest, past.rotation));
        fit.u[fit.count] = past.time - sample.time;
        const double values[6] = {past.position[0], past.position[1], past.position[2], turn[0], turn[1], turn[2]};
        std::copy(values, values + 6, fit.values[fit.count++]);
    }
    double ahead[6];
    if (!evaluateParabola(fit, settings_.predictMilliseconds / 1000, ahead)) return;
    Triple step{ahead[0] - sample.position[0], ahead[1] - sample.position[1], ahead[2] - sample.position[2]};
    const double stepGain = damping(length(step), dampedStepMetres);
    for (int axis = 0; axis < 3; ++axis) sample.position[axis] += stepGain * step[axis];
    Triple turn{ahead[3], ahead[4], ahead[5]};
    const double turnGain = damping(length(turn), dampedTurnRadians);
    for (double& component : turn) component *= turnGain;
    sample.rotation = multiply(sample.rotation, expOf(turn));
}

} // namespace hostkit
} // namespace is900
