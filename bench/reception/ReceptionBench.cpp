// Streams tracker stations from the simulator through the plug-in at 115200
// baud and prints what reception costs: the receiving thread's CPU time per
// record, and the delay from the simulator writing a record's last byte to
// the record being in the host's storage (median and 99th percentile).
#include "DeviceRig.h"

#include "common/CoutCapture.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>
#include <time.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Written {
    Clock::time_point at;
    TraData expected;
};

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1))];
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int stations = 2;
    DeviceRig rig({{1, is900sim::StationKind::tracker}, {2, is900sim::StationKind::tracker}}, 115200, 120.0);
    rig.lines.add("sensors", {"1", "1"}).add("cavecoord", {"off"});

    std::mutex writtenLock;
    std::deque<Written> written[stations + 1];
    rig.simulator().setRecordCallback([&](const is900sim::SentRecord& record) {
        const Written entry{Clock::now(), expectedTraData(record, false, false)};
        std::lock_guard<std::mutex> hold(writtenLock);
        if (record.station >= 1 && record.station <= stations) written[record.station].push_back(entry);
    });

    {
        CoutCapture quiet;
        if (rig.init() != 1 || rig.device()->configure() != 2) {
            std::fprintf(stderr, "the device did not start\n");
            return 1;
        }
    }

    std::vector<double> delays;
    long records = 0;
    double cpuSeconds = 0;
    std::thread receiver([&] {
        const double cpuStart = threadCpuSeconds();
        const auto end = Clock::now() + std::chrono::seconds(seconds);
        while (Clock::now() < end && rig.device()->recvData(rig.masks, nullptr) == 1) {
            const auto stored = Clock::now();
            ++records;
            for (uint32_t id = 1; id <= stations; ++id) {
                TraData copy;
                if (!maskHas(rig.masks, id) || !rig.trackers.readTraData(id, copy)) continue;
                std::lock_guard<std::mutex> hold(writtenLock);
                auto& queue = written[id];
                // The simulator notes a record just after writing it, so the
                // device may occasionally be quicker; such records are not timed.
                auto match = std::find_if(queue.begin(), queue.end(),
                                          [&](const Written& entry) { return samePose(entry.expected, copy); });
                if (match == queue.end()) continue;
                delays.push_back(std::chrono::duration<double, std::micro>(stored - match->at).count());
                queue.erase(queue.begin(), match + 1);
            }
        }
        cpuSeconds = threadCpuSeconds() - cpuStart;
    });
    receiver.join();
    {
        CoutCapture quiet;
        rig.device()->stop();
    }

    const double lineMicroseconds = 29 * 10 * 1e6 / 115200;
    std::printf("records read             : %ld in %d s (%d stations, 115200 baud)\n", records, seconds, stations);
    std::printf("CPU time per record      : %.1f us\n", records ? cpuSeconds * 1e6 / static_cast<double>(records) : 0);
    std::printf("line time per record     : %.0f us (29 bytes at 115200 baud)\n", lineMicroseconds);
    std::printf("last byte to storage     : median %.0f us, 99th percentile %.0f us (%zu records matched)\n",
                percentile(delays, 0.5), percentile(delays, 0.99), delays.size());
    return delays.empty() ? 1 : 0;
}
