#include "common/ChildProcess.h"
#include "common/StartProgram.h"
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int millisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool drain(int& fd, std::string& text) {
    char buffer[4096];
    const ssize_t count = read(fd, buffer, sizeof buffer);
    if (count > 0) {
        text.append(buffer, static_cast<std::size_t>(count));
        return true;
    }
    close(fd);
    fd = -1;
    return false;
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& command) {
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) return;
    pid = startProgram(command, outPipe[1], errPipe[1]);
    close(outPipe[1]);
    close(errPipe[1]);
    outFd = outPipe[0];
    errFd = errPipe[0];
}

ChildProcess::~ChildProcess() {
    if (pid > 0 && status == -1) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    if (outFd >= 0) close(outFd);
    if (errFd >= 0) close(errFd);
}

void ChildProcess::pump(int timeoutMs) {
    pollfd fds[2] = {{readOutFd(), POLLIN, 0}, {errFd, POLLIN, 0}};
    if (poll(fds, 2, timeoutMs) <= 0) return;
    if (fds[0].revents) drain(outFd, out);
    if (fds[1].revents) drain(errFd, err);
}

bool ChildProcess::waitForLine(const std::function<bool(const std::string&)>& wanted, int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t checked = 0;
    while (true) {
        for (std::size_t end; (end = out.find('\n', checked)) != std::string::npos; checked = end + 1)
            if (wanted(out.substr(checked, end - checked))) return true;
        if (outFd < 0 || millisecondsLeft(deadline) == 0) return false;
        pump(millisecondsLeft(deadline));
    }
}

int ChildProcess::waitForExit(int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    // The process descriptor becomes readable when the child ends, so the
    // wait sleeps until its output or its end, whichever comes first.
    const int exitFd = pid > 0 ? static_cast<int>(syscall(SYS_pidfd_open, pid, 0)) : -1;
    while (status == -1 && pid > 0) {
        int raw = 0;
        if (waitpid(pid, &raw, WNOHANG) == pid) {
            status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            break;
        }
        if (millisecondsLeft(deadline) == 0) break;
        pollfd fds[3] = {{readOutFd(), POLLIN, 0}, {errFd, POLLIN, 0}, {exitFd, POLLIN, 0}};
        if (poll(fds, 3, exitFd < 0 ? 20 : millisecondsLeft(deadline)) <= 0) continue;
        if (fds[0].revents) drain(outFd, out);
        if (fds[1].revents) drain(errFd, err);
    }
    if (exitFd >= 0) close(exitFd);
    if (status == -1) return -1;
    outputPaused = false;
    const Clock::time_point drained = Clock::now() + std::chrono::seconds(2);
    while ((outFd >= 0 || errFd >= 0) && millisecondsLeft(drained) > 0) pump(millisecondsLeft(drained));
    return status;
}

void ChildProcess::sendSignal(int signalNumber) {
    if (pid > 0) kill(pid, signalNumber);
}

bool ChildProcess::signalPending() const {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, 7, "ShdPnd:") == 0) return line.find_first_not_of("0\t ", 7) != std::string::npos;
    return false;
}

void ChildProcess::closeOutput() {
    if (outFd >= 0) close(outFd);
    outFd = -1;
}

void ChildProcess::pauseOutput() {
    outputPaused = true;
    fcntl(outFd, F_SETPIPE_SZ, 4096);
}

bool ChildProcess::waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (millisecondsLeft(deadline) == 0) return false;
        pump(std::min(10, millisecondsLeft(deadline)));
    }
    return true;
}

std::vector<std::string> ChildProcess::outputLines() const {
    std::vector<std::string> lines;
    std::istringstream text(out);
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> fileLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string writeTempFile(const std::string& name, const std::string& text) {
    const std::string path = testing::TempDir() + name + "-" + std::to_string(getpid());
    std::ofstream(path) << text;
    return path;
}

SilentPort::SilentPort() : master(posix_openpt(O_RDWR | O_NOCTTY)) {
    if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0) slave = ptsname(master);
}

SilentPort::~SilentPort() {
    if (master >= 0) close(master);
}
