// The host's view of everything the device published: the latest copy of
// each record and how often and how recently it changed. The receiving
// thread writes it, the display reads it.
#pragma once

#include "host/view/RecordView.h"

#include <chrono>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

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

// Record IDs marked in one 4-byte update mask (bit n-1 of the big-endian word
// is ID n), in increasing order.
std::vector<uint32_t> markedIds(const unsigned char* mask);
