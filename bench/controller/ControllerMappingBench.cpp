// Cost of mapping one raw controller sample into the working record, and of
// the polynomial alone.
#include "controller/CConCommonH.h"
#include "boundary/HostRecords.h"
#include "storage/ConData.h"
#include "support/CLogH.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

void setUpController(CConCommonH& controller) {
    controller.outputStationCount = 2;
    controller.createLookup(8, true);
    controller.setStation(1, 1, 2, 8);
    controller.setStation(2, 2, 2, 8);
    char keyword[] = "valuatorscale", station[] = "1", scale[] = "[0.5,0.1,1,0]", all[] = "all";
    DevConfig config;
    std::memset(&config, 0, sizeof config);
    config.lineCount = 1;
    config.lines[0] = {1, keyword, {station, scale, all}, 3, false, {}};
    controller.parseOptions(&config);
}

void mapOneSample(benchmark::State& state) {
    CLogH log;
    log.enabled = false;
    CConCommonH controller(&log);
    setUpController(controller);
    ConData record;
    std::memset(&record, 0, sizeof record);
    unsigned char raw = 0;
    for (auto _ : state) {
        ++raw;
        benchmark::DoNotOptimize(controller.mapSample(1 + (raw & 1), raw, raw, static_cast<unsigned char>(~raw), record));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(mapOneSample);

void scaleOneValuator(benchmark::State& state) {
    CLogH log;
    log.enabled = false;
    CConCommonH controller(&log);
    setUpController(controller);
    unsigned char raw = 0;
    for (auto _ : state) {
        ++raw;
        benchmark::DoNotOptimize(controller.scaleValuator(1, 1, CConCommonH::normalizeValuator(raw)));
    }
}
BENCHMARK(scaleOneValuator);

} // namespace

BENCHMARK_MAIN();
