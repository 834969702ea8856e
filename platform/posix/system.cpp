#include "platform/platform.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

namespace platform {

unsigned long currentThreadId() { return static_cast<unsigned long>(syscall(SYS_gettid)); }

LocalTimeStamp currentTime() {
    timeval now{};
    gettimeofday(&now, nullptr);
    time_t seconds = now.tv_sec;
    tm local{};
    localtime_r(&seconds, &local);
    LocalTimeStamp stamp{};
    stamp.seconds = static_cast<int32_t>(now.tv_sec);
    stamp.milliseconds = static_cast<uint16_t>(now.tv_usec / 1000);
    stamp.minutesWest = static_cast<int16_t>(-local.tm_gmtoff / 60 + (local.tm_isdst > 0 ? 60 : 0));
    stamp.daylightSaving = static_cast<int16_t>(local.tm_isdst > 0 ? 1 : 0);
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
