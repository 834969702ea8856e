#include "storage/TraData.h"

#include "storage/FixedPoint.h"

#include <cstring>

namespace {

bool setPoseField(uint32_t& field, float value) {
    field = fixedpoint::encode(value, fixedpoint::poseScale);
    return true;
}

} // namespace

void TraData::clear() { std::memset(this, 0, offsetof(TraData, localTime)); }

bool TraData::setId(uint32_t newId) { return setRecordId(id, newId); }

bool TraData::stampTime() {
    stampRecordTime(timeSec, timeUsec, localTime);
    return true;
}

bool TraData::setX(float value) { return setPoseField(x, value); }
bool TraData::setY(float value) { return setPoseField(y, value); }
bool TraData::setZ(float value) { return setPoseField(z, value); }
bool TraData::setAzim(float value) { return setPoseField(azim, value); }
bool TraData::setElev(float value) { return setPoseField(elev, value); }
bool TraData::setRoll(float value) { return setPoseField(roll, value); }

bool TraData::equals(const TraData& other) const {
    const uint32_t TraData::*const pose[] = {&TraData::x,    &TraData::y,    &TraData::z,
                                             &TraData::azim, &TraData::elev, &TraData::roll};
    for (const auto field : pose) {
        if (fixedpoint::decodePose(this->*field) != fixedpoint::decodePose(other.*field)) return false;
    }
    return true;
}
