// Timed rounds of reading simulated tracker lines at 115200 baud: the floor
// (the least a reader can do: take what the pseudo-terminal holds and find
// each record's CR LF) and the device (the plug-in's recvData, as a host
// calls it, with its storages shared among devices), and the receiving
// thread's cost while the tracker is silent.
#pragma once

#include "is900/hostkit/Records.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct LineSetup {
    int devices = 1;
    int stations = 2; // tracker stations 1..n per line, each at 120 Hz at most
    double seconds = 5;
};

struct RoundFigures {
    long records = 0;               // records the simulators sent
    long lost = 0;                  // changed records that never reached the storage
    double cpuSeconds = 0;          // receiving threads' CPU time, all together
    std::vector<double> latencies;  // microseconds from the last byte written to the record read
    std::vector<std::chrono::steady_clock::time_point> writtenAt; // when each sent record's write began, in order

    double cpuPerRecordMicros() const;
    double latencyPercentile(double fraction) const;
};

RoundFigures floorRound(const LineSetup& setup);
// Called on the receiving thread with each record it read, after the time stamp.
using RecordSink = std::function<void(uint32_t id, const is900::hostkit::TraData& record)>;

// capturePath: when set, each device captures its line to this path and its number.
RoundFigures deviceRound(const LineSetup& setup, const std::string& capturePath = "", const RecordSink& sink = nullptr);
// CPU seconds the receiving thread uses per second while the line is silent.
double idleCpuPerSecond(double seconds);
