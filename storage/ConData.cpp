#include "storage/ConData.h"

#include "storage/FixedPoint.h"

#include <algorithm>
#include <cstring>

void ConData::clear() {
    std::memset(this, 0, offsetof(ConData, valOffset));
    std::memset(val, 0, sizeof val);
    std::memset(but, 0, sizeof but);
    butBytes = buttonByteCount;
}

bool ConData::setId(uint32_t newId) { return setRecordId(id, newId); }

bool ConData::stampTime() {
    stampRecordTime(timeSec, timeUsec, localTime);
    return true;
}

bool ConData::setValNumber(uint32_t count) {
    valOffset = platform::hostToNetwork32(valuatorArrayOffset);
    if (count > maxValuators) return false;
    valNumber = platform::hostToNetwork32(count);
    return true;
}

bool ConData::setButNumber(uint32_t count) {
    // Computed in unsigned arithmetic, so a corrupt valNumber wraps instead of overflowing.
    butOffset = platform::hostToNetwork32(valuatorArrayOffset + 4u * valuatorCount());
    if (count > maxButtons) return false;
    butNumber = platform::hostToNetwork32(count);
    return true;
}

bool ConData::setVal(uint32_t index, float value) {
    if (index < 1 || index > valuatorCount() || index > maxValuators) return false;
    val[index - 1] = fixedpoint::encode(value, fixedpoint::valuatorScale);
    return true;
}

bool ConData::setBut(uint32_t number, int32_t state) {
    if (number < 1 || number > maxButtons) return false;
    const uint32_t byteIndex = (number - 1) / 8;
    if (byteIndex >= butBytes || number > buttonCount()) return false;
    const uint8_t bit = static_cast<uint8_t>(1u << ((number - 1) % 8));
    if (state > 0)
        but[byteIndex] = static_cast<uint8_t>(but[byteIndex] | bit);
    else
        but[byteIndex] = static_cast<uint8_t>(but[byteIndex] & ~bit);
    return true;
}

bool ConData::equals(const ConData& other) const {
    if (valNumber != other.valNumber || butNumber != other.butNumber) return false;
    const uint32_t valuators = std::min(valuatorCount(), maxValuators);
    for (uint32_t i = 0; i < valuators; ++i) {
        if (fixedpoint::decodeValuator(val[i]) != fixedpoint::decodeValuator(other.val[i])) return false;
    }
    const uint32_t bytes = std::min(butBytes, buttonByteCount);
    for (uint32_t i = 0; i < bytes; ++i) {
        const uint8_t otherByte = i < other.butBytes ? other.but[i] : 0;
        if (but[i] != otherByte) return false;
    }
    return true;
}
