// The host's pose processing against the simulator's truth, as the README's
// table shows it: for each scripted motion (without noise), the error
// between each output and the true pose at the moment it stands for, RMS /
// 95th percentile, with and without prediction and the filter; the noise at
// rest (1.5 mm and 0.1 degrees per axis); the filter's lag in a swing. With --swing
// FILE it also writes one swing as CSV (x in mm: the truth, the device's,
// filtered, and filtered and predicted 20 ms at the moment it stands for)
// for the configuration reference's plot.
#include "sim/MotionTrial.h"
#include "sim/Simulator.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using is900::hostkit::OneEuroSettings;
using is900::hostkit::PoseProcessing;
using namespace is900sim;

// A processing, or (device) the device's poses used as long after their
// reading as the processing predicts.
struct Row {
    std::string name;
    PoseProcessing processing;
    bool device = false;
};

std::vector<Row> rows() {
    std::vector<Row> all{{"device's poses, as read", {}, true}};
    for (double ms : {10.0, 20.0, 40.0}) {
        PoseProcessing processing;
        processing.predictMilliseconds = ms;
        const std::string interval = std::to_string(static_cast<int>(ms)) + " ms";
        all.push_back({"device's poses, used " + interval + " later", processing, true});
        all.push_back({"predict " + interval, processing});
    }
    PoseProcessing filtered;
    filtered.filter = OneEuroSettings::head();
    all.push_back({"filter head", filtered});
    filtered.predictMilliseconds = 20;
    all.push_back({"filter head, predict 20 ms", filtered});
    return all;
}

// "RMS / 95th percentile" of one motion's errors, millimetres or degrees.
std::string errors(MotionScript script, const Row& row, bool degrees) {
    TrialSettings settings;
    settings.script = script;
    const TrialResult result = runTrial(settings, row.processing);
    const TrialErrors& e = row.device ? result.unprocessed : result.processed;
    char text[48];
    if (degrees) std::snprintf(text, sizeof text, "%.2f / %.2f", e.rmsDeg, e.p95Deg);
    else std::snprintf(text, sizeof text, "%.1f / %.1f", e.rmsMm, e.p95Mm);
    return text;
}

std::string restingNoise(const Row& row) {
    TrialSettings still;
    still.noise = {1.5, 0.1};
    const TrialResult result = runTrial(still, row.processing);
    const TrialNoise& n = row.device ? result.unprocessedNoise : result.processedNoise;
    char text[48];
    std::snprintf(text, sizeof text, "%.2f / %.3f", n.positionMm, n.angleDeg);
    return text;
}

void writeSwing(const char* path) {
    std::FILE* file = std::fopen(path, "w");
    if (!file) {
        std::perror(path);
        return;
    }
    std::fprintf(file, "seconds,truth,device,filtered,predicted_for,predicted\n");
    // Sampled as the trial samples, with the sensor's noise: what a user sees.
    TrialSettings settings;
    settings.script = MotionScript::wandSwing;
    settings.noise = {1.5, 0.1};
    settings.seconds = 2;
    PoseProcessing filtered, predicted;
    filtered.filter = OneEuroSettings::head();
    predicted.filter = OneEuroSettings::head();
    predicted.predictMilliseconds = 20;
    const std::vector<TrialSample> a = trialSamples(settings, filtered), b = trialSamples(settings, predicted);
    for (std::size_t k = 0; k < a.size(); ++k)
        std::fprintf(file, "%.4f,%.2f,%.2f,%.2f,%.4f,%.2f\n", a[k].standsFor, a[k].truthMm, a[k].deviceMm,
                     a[k].processedMm, b[k].standsFor, b[k].processedMm);
    std::fclose(file);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--swing") == 0) {
        writeSwing(argv[2]);
        return 0;
    }
    std::printf("| processing | head turn mm | head turn deg | wand swing mm | wand swing deg | walking mm | at rest mm / deg |\n"
                "|---|---|---|---|---|---|---|\n");
    for (const Row& row : rows())
        std::printf("| %s | %s | %s | %s | %s | %s | %s |\n", row.name.c_str(),
                    errors(MotionScript::headTurn, row, false).c_str(), errors(MotionScript::headTurn, row, true).c_str(),
                    errors(MotionScript::wandSwing, row, false).c_str(), errors(MotionScript::wandSwing, row, true).c_str(),
                    errors(MotionScript::walk, row, false).c_str(), restingNoise(row).c_str());
    PoseProcessing head, wand;
    head.filter = OneEuroSettings::head();
    wand.filter = OneEuroSettings::wand();
    std::printf("\nLag in the wand swing: filter (head) %.1f ms, filter (wand) %.1f ms\n",
                trialLagMs(MotionScript::wandSwing, head), trialLagMs(MotionScript::wandSwing, wand));
}
