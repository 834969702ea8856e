// One tracker station's sample as the host stores it: 56 bytes, every
// counter and value a 32-bit integer in network byte order, the pose in
// fixed point (value x 100000), followed by the clock reading in host order.
#pragma once

#include "platform/platform.h"
#include "storage/RecordFields.h"

#include <cstddef>
#include <cstdint>

struct TraData {
    uint32_t id;
    uint32_t reserved0;
    uint32_t timeSec;
    uint32_t timeUsec;
    uint32_t reserved1;
    uint32_t x;
    uint32_t y;
    uint32_t z;
    uint32_t azim;
    uint32_t elev;
    uint32_t roll;
    platform::LocalTimeStamp localTime;

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

static_assert(sizeof(TraData) == 56, "TraData is a 56-byte host record");
static_assert(offsetof(TraData, id) == 0, "TraData layout");
static_assert(offsetof(TraData, reserved0) == 4, "TraData layout");
static_assert(offsetof(TraData, timeSec) == 8, "TraData layout");
static_assert(offsetof(TraData, timeUsec) == 12, "TraData layout");
static_assert(offsetof(TraData, reserved1) == 16, "TraData layout");
static_assert(offsetof(TraData, x) == 20, "TraData layout");
static_assert(offsetof(TraData, y) == 24, "TraData layout");
static_assert(offsetof(TraData, z) == 28, "TraData layout");
static_assert(offsetof(TraData, azim) == 32, "TraData layout");
static_assert(offsetof(TraData, elev) == 36, "TraData layout");
static_assert(offsetof(TraData, roll) == 40, "TraData layout");
static_assert(offsetof(TraData, localTime) == 44, "TraData layout");
