// One tracker station's sample as the host stores it: 56 bytes, every
// counter and value a 32-bit integer in network byte order, the pose in
// fixed point (value x 100000), followed by the clock reading in host order.
#pragma once

#include "hostkit/include/is900/hostkit/Records.h"
#include "platform/platform.h"
#include "storage/RecordFields.h"

#include <cstdint>

struct TraData : is900::hostkit::TraData {
    // Zeroes everything but the local time.
    void clear();
    // Accepts IDs 1 to 32; any other leaves the record unchanged.
    bool setId(uint32_t newId);
    bool stampTime();
    bool setX(float value);
    bool setY(float value);
    bool setZ(float value);
    bool setAzim(float value);
    bool setElev(float value);
    bool setRoll(float value);
    // Compares the six decoded pose values only.
    bool equals(const TraData& other) const;
};

static_assert(sizeof(TraData) == sizeof(is900::hostkit::TraData), "TraData adds no field to the host's record");
