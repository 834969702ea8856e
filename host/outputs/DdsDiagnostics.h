// The host's health on /diagnostics (rt/diagnostics): a
// diagnostic_msgs/msg/DiagnosticArray once a second and at once after a
// device's state changes, reliable, volatile, keep last 10, one status per
// device: OK while streaming, WARN while starting, silent or reconnecting,
// ERROR when failed; stopped devices are STALE. The values: records per
// second since the last array, the last record's age, the attempt, what
// each of the host's outputs dropped, each output's mean time from the
// hub's hand-over to the end of a send since the last array ("latency
// <output>"), and each station's tracking quality
// as the quality lines last told it ("station N rate", "station N gaps",
// "station N longest gap", "station N position noise", "station N
// orientation noise"; a noise is "moving" while the sensor moves).
#pragma once

#include "host/outputs/DdsDevices.h"
#include "host/outputs/OutputHub.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

enum class DiagnosticLevel : uint8_t { ok = 0, warn = 1, error = 2, stale = 3 };

DiagnosticLevel diagnosticLevel(DeviceState state);
// Why the device is at its level, e.g. "streaming" or "reconnecting: attempt 3 in 4 s".
std::string diagnosticMessage(const DeviceStatus& status);

class DdsDiagnostics {
public:
    struct Snapshot {
        std::vector<DdsDevice> devices;
        std::vector<OutputCounts> outputs;
    };
    // snapshot is called on the publishing thread.
    DdsDiagnostics(int32_t participant, const std::string& node, std::function<Snapshot()> snapshot);
    ~DdsDiagnostics(); // stops
    DdsDiagnostics(const DdsDiagnostics&) = delete;
    DdsDiagnostics& operator=(const DdsDiagnostics&) = delete;

    // Publishes now instead of at the next second.
    void publishSoon();
    void stop();

private:
    void run();
    void publish(const Snapshot& snapshot, double seconds);
    std::vector<std::pair<std::string, std::string>> latenciesSinceLastArray(const std::vector<OutputCounts>& outputs);

    std::string node;
    std::function<Snapshot()> snapshot;
    int32_t writer = 0;
    std::map<std::string, uint64_t> recordsAtLastArray;
    std::map<std::string, OutputCounts> countsAtLastArray;
    double lastArray = 0;
    std::mutex mutex;
    std::condition_variable wake;
    bool soon = false;
    bool stopping = false;
    std::thread thread;
};
