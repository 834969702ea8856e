#include "platform/platform.h"

#include <winsock2.h>
#include <windows.h>

#include <sys/timeb.h>

namespace platform {

unsigned long currentThreadId() { return GetCurrentThreadId(); }

LocalTimeStamp currentTime() {
    __timeb32 now{};
    _ftime32(&now);
    LocalTimeStamp stamp{};
    stamp.seconds = static_cast<int32_t>(now.time);
    stamp.milliseconds = now.millitm;
    stamp.minutesWest = now.timezone;
    stamp.daylightSaving = now.dstflag;
    return stamp;
}

std::string errorText(int code) {
    char* buffer = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                   reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    std::string text = buffer ? buffer : "";
    LocalFree(buffer);
    return text;
}

std::string lastErrorText() { return errorText(static_cast<int>(GetLastError())); }

uint32_t hostToNetwork32(uint32_t value) { return htonl(value); }
uint32_t networkToHost32(uint32_t value) { return ntohl(value); }

} // namespace platform
