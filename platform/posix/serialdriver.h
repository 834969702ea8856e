// The Linux serial driver's own settings (TIOCGSERIAL / TIOCSSERIAL), reached
// through replaceable functions: a test stands in for a driver that has the
// low-latency mode, which a pseudo-terminal lacks.
#pragma once

#include <linux/serial.h>

namespace platform {

struct SerialDriverAccess {
    // 0 on success, -1 with errno set, as ioctl returns.
    int (*get)(int fd, serial_struct& settings);
    int (*set)(int fd, const serial_struct& settings);
};

// The ioctls, unless a test has replaced them.
SerialDriverAccess& serialDriver();

} // namespace platform
