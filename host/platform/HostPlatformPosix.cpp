#include "host/platform/HostPlatform.h"
#include "host/platform/QuietFilter.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace hostplatform {

PathKind pathKind(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return PathKind::missing;
    if (S_ISREG(status.st_mode)) return PathKind::file;
    return S_ISDIR(status.st_mode) ? PathKind::folder : PathKind::other;
}

bool standardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

void prepareTerminal() {}

namespace {

// Points the process's standard output at the quiet filter; -1 when it cannot.
int startQuietFilter() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return -1;
    std::FILE* input = fdopen(ends[0], "r");
    if (!input) return -1;
    quietFilter.start();
    std::thread([input] {
        nameThisThread("is900-quiet");
        quietFilter.run(input);
    }).detach();
    return ends[1];
}

} // namespace

std::FILE* keepStandardOutputForData(bool quiet) {
    std::cout.flush();
    std::fflush(stdout);
    const int copy = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    const int target = quiet ? startQuietFilter() : dup(STDERR_FILENO);
    if (copy < 0 || target < 0 || dup2(target, STDOUT_FILENO) < 0) return stdout;
    close(target);
    std::FILE* file = fdopen(copy, "w");
    return file ? file : stdout;
}

bool lineGoesOutNow(std::FILE* file) {
    struct stat status;
    const int descriptor = fileno(file);
    if (descriptor < 0 || fstat(descriptor, &status) != 0 || !S_ISFIFO(status.st_mode)) return false;
    pollfd ready = {descriptor, POLLOUT, 0};
    return poll(&ready, 1, 0) == 1 && (ready.revents & POLLOUT) && !(ready.revents & (POLLERR | POLLHUP));
}

RoomForLines::RoomForLines(std::FILE* file) : descriptor(fileno(file)) {
    if (pipe2(wakeEnds, O_CLOEXEC | O_NONBLOCK) != 0) wakeEnds[0] = wakeEnds[1] = -1;
}

RoomForLines::~RoomForLines() {
    for (int end : wakeEnds)
        if (end >= 0) close(end);
}

RoomForLines::Outcome RoomForLines::wait(int limitMs) {
    if (descriptor < 0) return Outcome::room;
    pollfd ready[2] = {{descriptor, POLLOUT, 0}, {wakeEnds[0], POLLIN, 0}};
    int count;
    while ((count = poll(ready, 2, limitMs)) < 0 && errno == EINTR) {
    }
    if (count == 0) return Outcome::timedOut;
    if (count > 0 && (ready[1].revents & POLLIN)) {
        char byte;
        while (read(wakeEnds[0], &byte, 1) == 1) {
        }
        return Outcome::woken;
    }
    return Outcome::room; // a write that fails says so itself
}

void RoomForLines::wake() {
    const char byte = 1;
    if (write(wakeEnds[1], &byte, 1) < 0) return; // full: a wake-up is pending anyway
}

void nameThisThread(const char* name) { pthread_setname_np(pthread_self(), name); }

} // namespace hostplatform
