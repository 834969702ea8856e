// Run from the build's bin folder, where the example calibration library lies.
#include "support/CLogH.h"
#include "tracker/CCalibH.h"
#include "tracker/CTraCommonH.h"

#include <benchmark/benchmark.h>

namespace {

void setUpStations(CTraCommonH& tracker) {
    tracker.caveCoordinates = true;
    tracker.createLookup(8);
    tracker.setStation(1, 1);
}

void addCorrections(CTraCommonH& tracker) {
    tracker.transmitterOffset = offsetMatrix(1, 2, 3);
    tracker.transmitterRotation = axisAngleMatrix(0, 0, 1, 30);
    tracker.transmitterTransform = composeTransform(tracker.transmitterRotation, tracker.transmitterOffset);
    tracker.transmitterOffsetSet = tracker.transmitterRotationSet = true;
    const Matrix4 offset = offsetMatrix(0, 0, 0.25f);
    const Matrix4 rotation = axisAngleMatrix(1, 0, 0, 15);
    const float translation[3] = {0.1f, 0, 0};
    tracker.setStation(1, 1, &offset, &rotation, translation);
}

// Each iteration processes a fresh copy of a decoded sample, as reception does.
void runSamples(benchmark::State& state, const CTraCommonH& tracker) {
    const float sample[6] = {12.5f, 24.25f, 36.75f, 10.5f, 20.25f, 30.125f};
    for (auto _ : state) {
        float pose[6] = {sample[0], sample[1], sample[2], sample[3], sample[4], sample[5]};
        benchmark::DoNotOptimize(tracker.processPose(1, 'U', pose));
        benchmark::DoNotOptimize(pose);
    }
}

void PoseWithoutCorrections(benchmark::State& state) {
    CLogH log;
    CTraCommonH tracker(&log);
    setUpStations(tracker);
    runSamples(state, tracker);
}

void PoseWithCorrections(benchmark::State& state) {
    CLogH log;
    CTraCommonH tracker(&log);
    setUpStations(tracker);
    addCorrections(tracker);
    runSamples(state, tracker);
}

void PoseWithCalibrationAndCorrections(benchmark::State& state) {
    CLogH log;
    CTraCommonH tracker(&log);
    setUpStations(tracker);
    addCorrections(tracker);
    tracker.calibration = new CCalibH(CALIB_OFFSET_FILE, &log);
    char scale[] = "1.01", dx[] = "0.5";
    char* args[] = {scale, dx};
    if (!tracker.calibration->init(args, 2)) {
        state.SkipWithError("example calibration library not found beside the benchmark");
        return;
    }
    runSamples(state, tracker);
    tracker.calibration->exit();
}

} // namespace

BENCHMARK(PoseWithoutCorrections);
BENCHMARK(PoseWithCorrections);
BENCHMARK(PoseWithCalibrationAndCorrections);
BENCHMARK_MAIN();
