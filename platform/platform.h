// Narrow operating-system interface used by the portable core. Each backend
// (posix/, win32/) implements it in small, obvious files.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Local time as the C runtime's millisecond clock reports it. Kept at exactly
// 12 bytes because it travels inside the host's records.
struct LocalTimeStamp {
    int32_t seconds;        // seconds since 1970-01-01 UTC
    uint16_t milliseconds;  // 0..999
    int16_t minutesWest;    // minutes west of UTC
    int16_t daylightSaving; // nonzero while daylight-saving time is in force
    uint16_t padding;
};
static_assert(sizeof(LocalTimeStamp) == 12, "LocalTimeStamp must stay 12 bytes");

unsigned long currentThreadId();
void sleepMilliseconds(unsigned long milliseconds);
LocalTimeStamp currentTime();

// Text of the calling thread's last system error (errno / GetLastError).
std::string lastErrorText();
// Text of an explicit error code as the backend's own calls return them.
std::string errorText(int code);

uint32_t hostToNetwork32(uint32_t value);
uint32_t networkToHost32(uint32_t value);

} // namespace platform
