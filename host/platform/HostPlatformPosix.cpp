#include "host/platform/HostPlatform.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <pthread.h>
#include <sys/file.h>
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
bool portCanBeOpened(const std::string& name, std::string& reason) {
    const int fd = open(devicePath(name).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    int failure = fd < 0 ? errno : 0;
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) failure = errno == EWOULDBLOCK ? EBUSY : errno;
    if (fd >= 0) close(fd);
    if (failure != 0) reason = std::strerror(failure);
    return failure == 0;
}

bool standardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

void prepareTerminal() {}

std::FILE* keepStandardOutputForData(bool discard) {
    std::cout.flush();
    std::fflush(stdout);
    const int copy = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    const int target = discard ? open("/dev/null", O_WRONLY | O_CLOEXEC) : dup(STDERR_FILENO);
    if (copy < 0 || target < 0 || dup2(target, STDOUT_FILENO) < 0) return stdout;
    close(target);
    std::signal(SIGPIPE, SIG_IGN);
    std::FILE* file = fdopen(copy, "w");
    return file ? file : stdout;
}

void nameThisThread(const char* name) { pthread_setname_np(pthread_self(), name); }

} // namespace hostplatform
