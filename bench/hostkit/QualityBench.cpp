// The quality monitor fed as the host feeds it: two tracker stations and a
// wand at 120 records a second each, a still head with a little noise.
#include "is900/hostkit/Quality.h"
#include "is900/hostkit/RecordSchema.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

using namespace is900::hostkit;

RecordView recordOf(int station, RecordKind kind, long n) {
    RecordView record;
    record.device = "is900";
    record.station = station;
    record.kind = kind;
    const float wobble = static_cast<float>(0.005 * std::sin(n * 0.7));
    const float pose[6] = {1 + wobble, 2 - wobble, 3, 10 + 10 * wobble, 20, 30};
    for (int i = 0; i < 6; ++i) record.pose[i] = pose[i];
    return record;
}

// Ten seconds of records, so that every window is full, then one record per iteration.
void fill(QualityMonitor& monitor, long& n) {
    for (; n < 3600; ++n) monitor.addRecord(recordOf(1 + n % 3, n % 3 == 2 ? RecordKind::controller : RecordKind::tracker, n), n / 360.0);
}

void AddRecord(benchmark::State& state) {
    QualityMonitor monitor;
    long n = 0;
    fill(monitor, n);
    const RecordView record = recordOf(1, RecordKind::tracker, 0);
    for (auto _ : state) monitor.addRecord(record, ++n / 360.0);
}
BENCHMARK(AddRecord);

void SnapshotOfFullWindows(benchmark::State& state) {
    QualityMonitor monitor;
    long n = 0;
    fill(monitor, n);
    for (auto _ : state) benchmark::DoNotOptimize(monitor.snapshot(n / 360.0));
}
BENCHMARK(SnapshotOfFullWindows)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
