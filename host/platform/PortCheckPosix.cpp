#include "host/platform/PortCheck.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

namespace hostplatform {

namespace {

// As the plug-in's POSIX port: "comN" is /dev/ttyS<N-1>, a name with a
// slash a path, any other name a device in /dev.
std::string devicePath(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    const bool com = name.size() > 3 && name.size() < 12 && strncasecmp(name.c_str(), "com", 3) == 0 &&
                     name.find_first_not_of("0123456789", 3) == std::string::npos;
    if (com && std::stoul(name.substr(3)) >= 1) return "/dev/ttyS" + std::to_string(std::stoul(name.substr(3)) - 1);
    return "/dev/" + name;
}

} // namespace

// The plug-in locks the ports it holds, so a held port shows as busy.
bool portCanBeOpenedEmptied(const std::string& name, std::string& reason) {
    const int fd = open(devicePath(name).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    int failure = fd < 0 ? errno : 0;
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) failure = errno == EWOULDBLOCK ? EBUSY : errno;
    if (failure == 0) tcflush(fd, TCIFLUSH);
    if (fd >= 0) close(fd);
    if (failure != 0) reason = std::strerror(failure);
    return failure == 0;
}

} // namespace hostplatform
