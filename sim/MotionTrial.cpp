#include "sim/MotionTrial.h"

#include "sim/Motion.h"
#include "rules/OptionWords.h"
#include "rules/Quaternion.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace is900sim {

namespace {

using is900::hostkit::PoseProcessing;
using is900::hostkit::PoseProcessor;

const double millimetresPerFoot = optionwords::metresPerFoot * 1000;

struct Output {
    double time;             // the moment it stands for
    std::array<float, 6> pose; // feet and degrees
    std::array<float, 6> raw;
};

std::array<float, 6> published(const double position[3], const double angles[3]) {
    std::array<float, 6> pose;
    for (int axis = 0; axis < 3; ++axis) {
        pose[axis] = static_cast<float>(position[axis] * optionwords::feetPerCentimetre);
        pose[axis + 3] = static_cast<float>(angles[axis]);
    }
    return pose;
}

double distanceMm(const std::array<float, 6>& a, const std::array<float, 6>& b) {
    double sum = 0;
    for (int axis = 0; axis < 3; ++axis) sum += std::pow((a[axis] - b[axis]) * millimetresPerFoot, 2);
    return std::sqrt(sum);
}

double angleDeg(const rotation::Rotation& a, const rotation::Rotation& b) {
    return 2 * std::acos(std::min(1.0, std::fabs(rotation::dot(a, b)))) * rotation::degreesPerRadian;
}

std::vector<Output> play(const TrialSettings& settings, const PoseProcessing& processing) {
    StationSetup station;
    std::optional<StillPose> still;
    if (!settings.script) still = StillPose{1, {20, 10, 100}, {30, 10, 5}};
    std::optional<ScriptedMotion> script;
    if (settings.script) script = ScriptedMotion{1, *settings.script, {}};
    StationMotion motion(station, settings.seed, settings.noise, still, script);
    PoseProcessor processor(processing);
    std::mt19937 reading(settings.seed);
    std::uniform_real_distribution<double> jitter(0, 0.001);
    std::vector<Output> outputs;
    const auto count = static_cast<std::size_t>(settings.seconds * settings.rate);
    for (std::size_t k = 0; k < count; ++k) {
        const double taken = static_cast<double>(k) / settings.rate;
        const Sample sample = motion.next(taken);
        const double position[3] = {sample.position[0], sample.position[1], sample.position[2]};
        const double angles[3] = {sample.angles[0], sample.angles[1], sample.angles[2]};
        const std::array<float, 6> raw = published(position, angles);
        const double read = taken + settings.lineDelaySeconds + jitter(reading);
        outputs.push_back({read + processing.predictMilliseconds / 1000, processor.process(read, raw.data()), raw});
    }
    return outputs;
}

double rms(const std::vector<double>& values) {
    double sum = 0;
    for (double value : values) sum += value * value;
    return std::sqrt(sum / static_cast<double>(values.size()));
}

double percentile95(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() * 95 / 100];
}

TrialErrors errorsOf(const std::vector<Output>& outputs, MotionScript script, bool processed) {
    std::vector<double> millimetres, degrees;
    for (const Output& output : outputs) {
        double position[3], angles[3];
        scriptedPose(script, output.time, position, angles);
        const std::array<float, 6> truth = published(position, angles);
        const std::array<float, 6>& pose = processed ? output.pose : output.raw;
        millimetres.push_back(distanceMm(pose, truth));
        degrees.push_back(angleDeg(rotation::quaternionOf(pose.data()), rotation::quaternionOf(truth.data())));
    }
    return {rms(millimetres), percentile95(millimetres), rms(degrees), percentile95(degrees)};
}

TrialNoise noiseOf(const std::vector<Output>& outputs, bool processed) {
    std::array<float, 6> mean{};
    rotation::Rotation meanRotation{};
    const double count = static_cast<double>(outputs.size());
    const rotation::Rotation first = rotation::quaternionOf(outputs.front().raw.data());
    for (const Output& output : outputs) {
        const std::array<float, 6>& pose = processed ? output.pose : output.raw;
        for (int axis = 0; axis < 3; ++axis) mean[axis] += static_cast<float>(pose[axis] / count);
        const rotation::Rotation q = rotation::quaternionOf(pose.data());
        const double sign = rotation::dot(q, first) < 0 ? -1 : 1;
        for (int i = 0; i < 4; ++i) meanRotation[i] += sign * q[i];
    }
    const double norm = std::sqrt(rotation::dot(meanRotation, meanRotation));
    for (double& component : meanRotation) component /= norm;
    std::vector<double> millimetres, degrees;
    for (const Output& output : outputs) {
        const std::array<float, 6>& pose = processed ? output.pose : output.raw;
        millimetres.push_back(distanceMm(pose, mean));
        degrees.push_back(angleDeg(rotation::quaternionOf(pose.data()), meanRotation));
    }
    return {rms(millimetres), rms(degrees)};
}

} // namespace

TrialResult runTrial(const TrialSettings& settings, const PoseProcessing& processing) {
    const std::vector<Output> outputs = play(settings, processing);
    TrialResult result;
    if (settings.script) {
        result.processed = errorsOf(outputs, *settings.script, true);
        result.unprocessed = errorsOf(outputs, *settings.script, false);
    }
    // The first second lets the processing settle.
    const std::vector<Output> settled(outputs.begin() + static_cast<long>(std::min(outputs.size(), std::size_t(120))),
                                      outputs.end());
    if (!settled.empty()) {
        result.processedNoise = noiseOf(settled, true);
        result.unprocessedNoise = noiseOf(settled, false);
    }
    return result;
}

std::vector<TrialSample> trialSamples(const TrialSettings& settings, const PoseProcessing& processing) {
    std::vector<TrialSample> samples;
    for (const Output& output : play(settings, processing)) {
        double position[3], angles[3];
        scriptedPose(settings.script.value_or(MotionScript::wandSwing), output.time, position, angles);
        samples.push_back({output.time, position[0] * 10, output.raw[0] * millimetresPerFoot,
                           output.pose[0] * millimetresPerFoot});
    }
    return samples;
}

double trialLagMs(MotionScript script, const PoseProcessing& processing) {
    TrialSettings settings;
    settings.script = script;
    settings.seconds = 8;
    settings.lineDelaySeconds = 0;
    PoseProcessing unpredicted = processing;
    unpredicted.predictMilliseconds = 0;
    const std::vector<Output> outputs = play(settings, unpredicted);
    const double period = 1 / settings.rate;
    double bestShift = 0, bestError = -1;
    for (int tenths = 0; tenths <= 300; ++tenths) {
        const double shift = tenths / 10000.0;
        double error = 0;
        for (std::size_t k = 4; k < outputs.size(); ++k) {
            // The unprocessed stream at the output's time minus the shift, between its samples.
            const double at = static_cast<double>(k) - shift / period;
            const std::size_t before = static_cast<std::size_t>(std::floor(at));
            const double fraction = at - std::floor(at);
            std::array<float, 6> earlier;
            for (int axis = 0; axis < 3; ++axis)
                earlier[axis] = static_cast<float>(outputs[before].raw[axis] * (1 - fraction) +
                                                   outputs[before + 1].raw[axis] * fraction);
            error += std::pow(distanceMm(outputs[k].pose, earlier), 2);
        }
        if (bestError < 0 || error < bestError) bestError = error, bestShift = shift;
    }
    return bestShift * 1000;
}

} // namespace is900sim
