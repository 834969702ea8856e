#include "storage/CDataStorage.h"
#include "common/KitRecords.h"

#include <benchmark/benchmark.h>

namespace {

TraData trackerSample(float value) {
    TraData record{};
    record.clear();
    record.setId(1);
    record.setX(value);
    record.setY(value + 1.0f);
    record.setZ(value + 2.0f);
    record.setAzim(value * 3.0f);
    record.setElev(value * 0.5f);
    record.setRoll(-value);
    return record;
}

void buildTrackerRecord(benchmark::State& state) {
    float value = 0.125f;
    for (auto _ : state) {
        TraData record = trackerSample(value);
        benchmark::DoNotOptimize(record);
        value += 0.001f;
    }
}
BENCHMARK(buildTrackerRecord);

void stampTime(benchmark::State& state) {
    TraData record{};
    for (auto _ : state) {
        record.stampTime();
        benchmark::DoNotOptimize(record);
    }
}
BENCHMARK(stampTime);

void compareTrackerRecords(benchmark::State& state) {
    const TraData a = trackerSample(1.5f);
    const TraData b = trackerSample(1.5f);
    for (auto _ : state) benchmark::DoNotOptimize(a.equals(b));
}
BENCHMARK(compareTrackerRecords);

void compareControllerRecords(benchmark::State& state) {
    ConData a{};
    a.clear();
    a.setValNumber(maxValuators);
    a.setButNumber(maxButtons);
    for (uint32_t i = 1; i <= maxValuators; ++i) a.setVal(i, 0.5f * static_cast<float>(i));
    const ConData b = a;
    for (auto _ : state) benchmark::DoNotOptimize(a.equals(b));
}
BENCHMARK(compareControllerRecords);

// Lock, look up, copy, unlock: what every changed sample costs the device.
void publishTrackerRecord(benchmark::State& state) {
    is900::hostkit::HostStorage host(is900::hostkit::StorageKind::tracker);
    CDataStorage& storage = *kitrecords::plugin(host.storage());
    storage.lock();
    storage.setTraNumber(4);
    storage.unlock();
    const TraData record = trackerSample(2.0f);
    for (auto _ : state) {
        storage.lock();
        if (TraData* slot = storage.getTraData(3)) *slot = record;
        storage.unlock();
    }
}
BENCHMARK(publishTrackerRecord);

} // namespace

BENCHMARK_MAIN();
