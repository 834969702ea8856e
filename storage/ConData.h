// One controller's sample as the host stores it: 184 bytes. Counters and
// valuators (value x 1000) are 32-bit integers in network byte order; the
// button bit field, its byte count and the local time are in host order.
#pragma once

#include "platform/platform.h"
#include "storage/FixedPoint.h"
#include "storage/TraData.h"

#include <cstddef>
#include <cstdint>

const uint32_t maxValuators = 32;
const uint32_t maxButtons = 32;
const uint32_t buttonByteCount = 4;
const uint32_t valuatorArrayOffset = 36;

struct ConData {
    uint32_t id;
    uint32_t reserved0;
    uint32_t timeSec;
    uint32_t timeUsec;
    uint32_t reserved1;
    uint32_t valNumber;
    uint32_t butNumber;
    uint32_t valOffset;
    uint32_t butOffset;
    uint32_t val[maxValuators];
    uint8_t but[buttonByteCount];
    uint32_t butBytes;
    platform::LocalTimeStamp localTime;

    // Zeroes ID, time, counts, valuators and buttons and sets butBytes to 4;
    // valOffset, butOffset and the local time stay.
    void clear();
    bool setId(uint32_t newId);
    bool stampTime();
    // Both write their offset field first, whether the number is accepted or
    // not; the button offset follows the valuator number set before it.
    bool setValNumber(uint32_t count);
    bool setButNumber(uint32_t count);
    // Valuator index is 1-based and at most valNumber.
    bool setVal(uint32_t index, float value);
    // Button number is 1-based and at most butNumber; state > 0 presses it.
    bool setBut(uint32_t number, int32_t state);
    bool equals(const ConData& other) const;

    uint32_t valuatorCount() const { return fixedpoint::fromNetworkOrder(valNumber); }
    uint32_t buttonCount() const { return fixedpoint::fromNetworkOrder(butNumber); }
    bool buttonPressed(uint32_t number) const {
        return number >= 1 && number <= maxButtons && (but[(number - 1) / 8] >> ((number - 1) % 8) & 1u) != 0;
    }
};

static_assert(sizeof(ConData) == 184, "ConData is a 184-byte host record");
static_assert(offsetof(ConData, id) == 0, "ConData layout");
static_assert(offsetof(ConData, reserved0) == 4, "ConData layout");
static_assert(offsetof(ConData, timeSec) == 8, "ConData layout");
static_assert(offsetof(ConData, timeUsec) == 12, "ConData layout");
static_assert(offsetof(ConData, reserved1) == 16, "ConData layout");
static_assert(offsetof(ConData, valNumber) == 20, "ConData layout");
static_assert(offsetof(ConData, butNumber) == 24, "ConData layout");
static_assert(offsetof(ConData, valOffset) == 28, "ConData layout");
static_assert(offsetof(ConData, butOffset) == 32, "ConData layout");
static_assert(offsetof(ConData, val) == valuatorArrayOffset, "ConData layout");
static_assert(offsetof(ConData, but) == 164, "ConData layout");
static_assert(offsetof(ConData, butBytes) == 168, "ConData layout");
static_assert(offsetof(ConData, localTime) == 172, "ConData layout");
