// One controller's sample as the host stores it: 184 bytes. Counters and
// valuators (value x 1000) are 32-bit integers in network byte order; the
// button bit field, its byte count and the local time are in host order.
#pragma once

#include "hostkit/include/is900/hostkit/Records.h"
#include "platform/platform.h"
#include "storage/FixedPoint.h"
#include "storage/TraData.h"

#include <cstddef>
#include <cstdint>

using is900::hostkit::maxButtons;
using is900::hostkit::maxValuators;
const uint32_t buttonByteCount = sizeof(is900::hostkit::ConData::but);
const uint32_t valuatorArrayOffset = offsetof(is900::hostkit::ConData, val);

struct ConData : is900::hostkit::ConData {
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

    uint32_t valuatorCount() const { return is900::hostkit::valuatorCount(*this); }
    uint32_t buttonCount() const { return is900::hostkit::buttonCount(*this); }
    bool buttonPressed(uint32_t number) const { return is900::hostkit::buttonPressed(*this, number); }
};

static_assert(sizeof(ConData) == sizeof(is900::hostkit::ConData), "ConData adds no field to the host's record");
