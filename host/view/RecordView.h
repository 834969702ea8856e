// Published records as the host shows them: decoded from the shared storage's
// network-order fixed point, then written as a table row or a JSON line.
#pragma once

#include "is900/hostkit/Records.h"

#include <cstdint>
#include <string>
#include <vector>

enum class RecordKind { tracker, controller };

struct RecordView {
    RecordKind kind = RecordKind::tracker;
    std::string device; // the host's name for the device that published it
    uint32_t id = 0;
    int station = 0;
    double stamp = 0; // the record's time stamp, seconds since 1970
    float pose[6] = {0, 0, 0, 0, 0, 0}; // x, y, z in feet; azimuth, elevation, roll
    std::vector<bool> buttons;
    std::vector<float> valuators;
};

RecordView viewTracker(const is900::hostkit::TraData& record, int station);
RecordView viewController(const is900::hostkit::ConData& record, int station);

// One JSON object on one line, without the line end; "device" comes last,
// so that readers of the leading fields keep working.
std::string jsonLine(const RecordView& view);
// A JSON string literal with its quotes.
std::string jsonString(const std::string& text);

// A record with the host's statistics of its updates.
struct LiveRecord {
    RecordView view;
    uint64_t updates = 0;
    double rate = 0;       // updates per second over the last second or so
    double ageSeconds = 0; // since the last update
};

// The whole table with a heading, one row per record, each line ended.
std::string formatTable(const std::vector<LiveRecord>& records);
