#include "storage/RecordFields.h"

bool setRecordId(uint32_t& field, uint32_t id) {
    if (id < 1 || id > maxRecordId) return false;
    field = platform::hostToNetwork32(id);
    return true;
}

void stampRecordTime(uint32_t& timeSec, uint32_t& timeUsec, platform::LocalTimeStamp& localTime) {
    localTime = platform::currentTime();
    timeSec = platform::hostToNetwork32(static_cast<uint32_t>(localTime.seconds));
    timeUsec = platform::hostToNetwork32(static_cast<uint32_t>(localTime.milliseconds) * 1000u);
}
