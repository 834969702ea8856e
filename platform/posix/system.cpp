#include "platform/platform.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

namespace platform {

unsigned long currentThreadId() { return static_cast<unsigned long>(syscall(SYS_gettid)); }

namespace {

// Converting to local time costs more than the rest of a record's reception,
// and every record is stamped. The zone changes only at a whole second, so
// the fields of the second converted last are kept, packed with that second
// into one word that all receiving threads share.
struct Zone {
    int16_t minutesWest;
    int16_t daylightSaving;
};

std::atomic<uint64_t> lastZone{0};

uint64_t packZone(time_t second, const Zone& zone) {
    return uint64_t(uint32_t(second)) << 32 | uint64_t(uint16_t(zone.minutesWest)) << 16 |
           uint16_t(zone.daylightSaving);
}

Zone zoneOf(time_t second) {
    const uint64_t kept = lastZone.load(std::memory_order_relaxed);
    if (kept != 0 && kept >> 32 == uint32_t(second))
        return Zone{int16_t(uint16_t(kept >> 16)), int16_t(uint16_t(kept))};
    tm local{};
    localtime_r(&second, &local);
    const Zone zone{static_cast<int16_t>(-local.tm_gmtoff / 60 + (local.tm_isdst > 0 ? 60 : 0)),
                    static_cast<int16_t>(local.tm_isdst > 0 ? 1 : 0)};
    lastZone.store(packZone(second, zone), std::memory_order_relaxed);
    return zone;
}

} // namespace

LocalTimeStamp currentTime() {
    timeval now{};
    gettimeofday(&now, nullptr);
    const Zone zone = zoneOf(now.tv_sec);
    LocalTimeStamp stamp{};
    stamp.seconds = static_cast<int32_t>(now.tv_sec);
    stamp.milliseconds = static_cast<uint16_t>(now.tv_usec / 1000);
    stamp.minutesWest = zone.minutesWest;
    stamp.daylightSaving = zone.daylightSaving;
    return stamp;
}

std::string lastErrorText() { return errorText(errno); }

std::string errorText(int code) {
    char buffer[256] = {};
    // The GNU variant may return a static text instead of filling the buffer.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    return text ? std::string(text) : std::string(buffer);
}

uint32_t hostToNetwork32(uint32_t value) { return htonl(value); }
uint32_t networkToHost32(uint32_t value) { return ntohl(value); }

} // namespace platform
