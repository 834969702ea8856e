#include "platform/platform.h"

#include <cerrno>
#include <ctime>

namespace platform {

void sleepMilliseconds(unsigned long milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / 1000),
                       static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

} // namespace platform
