#include "is900/table/RecordTable.h"

namespace is900 {
namespace hostkit {
namespace {

const std::chrono::duration<double> rateWindow(1.0);

double secondsBetween(LiveBoard::Clock::time_point from, LiveBoard::Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

} // namespace

void LiveBoard::update(const RecordView& view, Clock::time_point now) {
    std::lock_guard<std::mutex> guard(mutex);
    Entry& entry = entries[{view.kind, view.id}];
    entry.view = view;
    entry.lastUpdate = now;
    if (entry.updates++ == 0) {
        entry.windowStart = now;
        return;
    }
    ++entry.windowUpdates;
    if (now - entry.windowStart >= rateWindow) {
        entry.rate = entry.windowUpdates / secondsBetween(entry.windowStart, now);
        entry.windowStart = now;
        entry.windowUpdates = 0;
    }
}

std::vector<LiveRecord> LiveBoard::snapshot(Clock::time_point now) const {
    std::lock_guard<std::mutex> guard(mutex);
    std::vector<LiveRecord> records;
    for (const auto& item : entries) {
        const Entry& entry = item.second;
        LiveRecord record;
        record.view = entry.view;
        record.updates = entry.updates;
        record.ageSeconds = secondsBetween(entry.lastUpdate, now);
        record.rate = record.ageSeconds > rateWindow.count() ? 0.0 : entry.rate;
        records.push_back(record);
    }
    return records;
}

} // namespace hostkit
} // namespace is900
