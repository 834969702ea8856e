// Published records as the host shows them: decoded from the shared storage's
// network-order fixed point, then written as a table row or, through the
// host kit's record schema, a JSON line.
#pragma once

#include "is900/hostkit/RecordSchema.h"
#include "is900/hostkit/Records.h"

#include <cstdint>
#include <string>
#include <vector>

using is900::hostkit::jsonLine;
using is900::hostkit::jsonString;
using is900::hostkit::RecordKind;
using is900::hostkit::RecordView;

RecordView viewTracker(const is900::hostkit::TraData& record, int station);
RecordView viewController(const is900::hostkit::ConData& record, int station);

// A record with the host's statistics of its updates.
struct LiveRecord {
    RecordView view;
    uint64_t updates = 0;
    double rate = 0;       // updates per second over the last second or so
    double ageSeconds = 0; // since the last update
};

// The whole table with a heading, one row per record, each line ended.
std::string formatTable(const std::vector<LiveRecord>& records);
