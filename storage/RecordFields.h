// Header fields that tracker and controller records share.
#pragma once

#include "hostkit/include/is900/hostkit/Records.h"
#include "platform/platform.h"

#include <cstdint>

using is900::hostkit::maxRecordId;

// Stores 1 to 32 in network byte order; refuses any other ID untouched.
bool setRecordId(uint32_t& field, uint32_t id);
// Fills the two network-order time fields and the local time from the clock.
void stampRecordTime(uint32_t& timeSec, uint32_t& timeUsec, platform::LocalTimeStamp& localTime);
