#include "tools/host/HostPlatform.h"

#include <csignal>
#include <fcntl.h>
#include <iostream>
#include <pthread.h>
#include <unistd.h>

namespace hostplatform {

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
