// Published records as the host reads them: found through the update masks
// and decoded from the shared storage's network-order fixed point. The kit's
// record table and record schema write them as table rows and JSON lines.
#pragma once

#include "is900/hostkit/RecordSchema.h"
#include "is900/hostkit/Records.h"

#include <cstdint>
#include <vector>

using is900::hostkit::jsonLine;
using is900::hostkit::jsonString;
using is900::hostkit::RecordKind;
using is900::hostkit::RecordView;

RecordView viewTracker(const is900::hostkit::TraData& record, int station);
RecordView viewController(const is900::hostkit::ConData& record, int station);

// Record IDs marked in one 4-byte update mask (bit n-1 of the big-endian word
// is ID n), in increasing order.
std::vector<uint32_t> markedIds(const unsigned char* mask);
