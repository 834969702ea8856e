#include "host/platform/HostPlatform.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <mutex>
#include <pthread.h>
#include <sys/file.h>
#include <thread>
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

void handleStopSignals(std::function<void()> onStop) {
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stopSignals, signalNumber);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::thread([stopSignals, onStop] {
        nameThisThread("is900-signals");
        int signalNumber = 0;
        for (int received = 0; sigwait(&stopSignals, &signalNumber) == 0; ++received) {
            if (received > 0) std::_Exit(130);
            onStop();
        }
    }).detach();
}

namespace {

// With -q the process's standard output runs through a pipe to this filter.
// The plug-in writes in one stream, so markers written into it between its
// lines tell exactly which lines came during init.
const char errorsOn[] = "\x1eis900-host:errors-on";
const char errorsOff[] = "\x1eis900-host:errors-off";

struct QuietFilter {
    bool active = false;
    std::mutex mutex;
    std::condition_variable caughtUp;
    unsigned long marksWritten = 0; // under mutex
    unsigned long marksSeen = 0;    // under mutex

    void run(int input) {
        std::string pending;
        bool show = false;
        char buffer[4096];
        ssize_t count;
        while ((count = read(input, buffer, sizeof buffer)) > 0 || (count < 0 && errno == EINTR)) {
            pending.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(count, 0)));
            for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
                const std::string line = pending.substr(0, end);
                if (line == errorsOn || line == errorsOff) {
                    show = line == errorsOn;
                    std::lock_guard<std::mutex> guard(mutex);
                    ++marksSeen;
                    caughtUp.notify_all();
                } else if (show && line.find(": ERROR: ") != std::string::npos) {
                    const std::string text = line + "\n";
                    if (write(STDERR_FILENO, text.data(), text.size()) < 0) show = false;
                }
            }
        }
    }

    void mark(const char* text) {
        if (!active) return;
        unsigned long number;
        {
            std::lock_guard<std::mutex> guard(mutex);
            number = ++marksWritten;
        }
        std::cout << text << std::endl;
        std::unique_lock<std::mutex> lock(mutex);
        caughtUp.wait_for(lock, std::chrono::seconds(2), [&] { return marksSeen >= number; });
    }
};

QuietFilter quietFilter;

// Points the process's standard output at the filter; -1 when it cannot.
int startQuietFilter() {
    int ends[2];
    if (pipe(ends) != 0) return -1;
    fcntl(ends[0], F_SETFD, FD_CLOEXEC);
    fcntl(ends[1], F_SETFD, FD_CLOEXEC);
    quietFilter.active = true;
    const int input = ends[0];
    std::thread([input] {
        nameThisThread("is900-quiet");
        quietFilter.run(input);
    }).detach();
    return ends[1];
}

} // namespace

bool quietShowsPluginErrors() { return true; }

PluginErrorsShown::PluginErrorsShown() { quietFilter.mark(errorsOn); }

PluginErrorsShown::~PluginErrorsShown() { quietFilter.mark(errorsOff); }

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

void nameThisThread(const char* name) { pthread_setname_np(pthread_self(), name); }

} // namespace hostplatform
