// The host's pose processing per record, as the hub's dispatcher runs it for
// one station at 120 records a second on a moving sensor: prediction,
// the filter, and both.
#include "is900/hostkit/PoseProcessing.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

using namespace is900::hostkit;

void Process(benchmark::State& state, PoseProcessing processing) {
    PoseProcessor processor(processing);
    long n = 0;
    for (auto _ : state) {
        const double t = static_cast<double>(++n) / 120;
        const float pose[6] = {static_cast<float>(std::sin(t)), 2, static_cast<float>(std::cos(t)),
                               static_cast<float>(40 * std::sin(t)), 10, 5};
        benchmark::DoNotOptimize(processor.process(t, pose));
    }
}

PoseProcessing predicting() {
    PoseProcessing processing;
    processing.predictMilliseconds = 20;
    return processing;
}

PoseProcessing filtering() {
    PoseProcessing processing;
    processing.filter = OneEuroSettings::head();
    return processing;
}

PoseProcessing both() {
    PoseProcessing processing = predicting();
    processing.filter = OneEuroSettings::head();
    return processing;
}

BENCHMARK_CAPTURE(Process, predict_20ms, predicting());
BENCHMARK_CAPTURE(Process, filter, filtering());
BENCHMARK_CAPTURE(Process, filter_and_predict_20ms, both());

} // namespace

BENCHMARK_MAIN();
