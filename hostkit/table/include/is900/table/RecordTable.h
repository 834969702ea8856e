// The table of published records that the host and is900-print show: the
// latest copy of each record and how often and how recently it changed,
// written as rows under a heading. Part of the kit that is not installed.
#pragma once

#include "is900/hostkit/RecordSchema.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace is900 {
namespace hostkit {

// A record with the statistics of its updates.
struct LiveRecord {
    RecordView view;
    uint64_t updates = 0;
    double rate = 0;       // updates per second over the last second or so
    double ageSeconds = 0; // since the last update
};

// The whole table with a heading, one row per record, each line ended.
std::string formatTable(const std::vector<LiveRecord>& records);

// Every record seen so far; one thread updates it while another takes snapshots.
class LiveBoard {
public:
    using Clock = std::chrono::steady_clock;

    void update(const RecordView& view, Clock::time_point now);
    std::vector<LiveRecord> snapshot(Clock::time_point now) const;

private:
    struct Entry {
        RecordView view;
        uint64_t updates = 0;
        Clock::time_point lastUpdate;
        Clock::time_point windowStart;
        uint64_t windowUpdates = 0;
        double rate = 0;
    };

    mutable std::mutex mutex;
    std::map<std::pair<RecordKind, uint32_t>, Entry> entries;
};

} // namespace hostkit
} // namespace is900
