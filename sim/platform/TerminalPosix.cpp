#include "sim/platform/Terminal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace simplatform {

namespace {

int baudOfSpeed(speed_t speed) {
    const struct {
        speed_t speed;
        int baud;
    } table[] = {{B1200, 1200},   {B2400, 2400},   {B4800, 4800},     {B9600, 9600},
                 {B19200, 19200}, {B38400, 38400}, {B57600, 57600},   {B115200, 115200}, {B230400, 230400}};
    for (const auto& entry : table)
        if (entry.speed == speed) return entry.baud;
    return 0;
}

std::string systemError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

} // namespace

Terminal::Terminal() {
    if (pipe2(wakeEnds, O_CLOEXEC | O_NONBLOCK) != 0) wakeEnds[0] = wakeEnds[1] = -1;
}

Terminal::~Terminal() {
    close();
    for (int end : wakeEnds)
        if (end >= 0) ::close(end);
}

bool Terminal::open(std::string& error) {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) return error = systemError("posix_openpt"), false;
    if (grantpt(master) != 0 || unlockpt(master) != 0) return error = systemError("grantpt/unlockpt"), false;
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0) return error = systemError("ptsname_r"), false;
    slave = name;
    slaveHold = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios line;
    if (slaveHold < 0 || tcgetattr(slaveHold, &line) != 0) return error = systemError(name), false;
    cfmakeraw(&line);
    cfsetispeed(&line, B38400);
    cfsetospeed(&line, B38400);
    if (tcsetattr(slaveHold, TCSANOW, &line) != 0) return error = systemError("tcsetattr"), false;
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    return true;
}

const std::string& Terminal::slavePath() const { return slave; }

bool Terminal::link(const std::string& path, std::string& error) const {
    unlink(path.c_str());
    if (symlink(slave.c_str(), path.c_str()) != 0) return error = systemError(path.c_str()), false;
    return true;
}

void Terminal::removeLink(const std::string& path) const { unlink(path.c_str()); }

void Terminal::removeLinkIfOurs(const std::string& path) const {
    char target[256] = {};
    if (readlink(path.c_str(), target, sizeof target - 1) > 0 && slave == target) unlink(path.c_str());
}

void Terminal::close() {
    if (master >= 0) ::close(master);
    if (slaveHold >= 0) ::close(slaveHold);
    master = slaveHold = -1;
}

int Terminal::baudRate() const {
    termios line;
    return tcgetattr(slaveHold, &line) == 0 ? baudOfSpeed(cfgetospeed(&line)) : 0;
}

std::size_t Terminal::readWithin(int limitMs, bool watchLine, uint8_t* bytes, std::size_t size) {
    pollfd entries[2] = {{wakeEnds[0], POLLIN, 0}, {watchLine ? master : -1, POLLIN, 0}};
    if (poll(entries, 2, limitMs) <= 0) return 0;
    if (entries[0].revents & POLLIN) drainWakes();
    if (!(entries[1].revents & POLLIN)) return 0;
    const ssize_t count = read(master, bytes, size);
    return count > 0 ? static_cast<std::size_t>(count) : 0;
}

LineWrite Terminal::writeSome(const uint8_t* bytes, std::size_t size) {
    const ssize_t count = write(master, bytes, size);
    if (count > 0) return {LineWrite::wrote, static_cast<std::size_t>(count)};
    if (count < 0 && errno == EINTR) return {LineWrite::interrupted, 0};
    if (count < 0 && errno == EAGAIN) return {LineWrite::full, 0};
    return {LineWrite::failed, 0};
}

void Terminal::waitUntilWritableOrWoken() {
    pollfd entries[2] = {{master, POLLOUT, 0}, {wakeEnds[0], POLLIN, 0}};
    if (poll(entries, 2, -1) > 0 && (entries[1].revents & POLLIN)) drainWakes();
}

void Terminal::wake() {
    const char byte = 1;
    if (wakeEnds[1] >= 0 && write(wakeEnds[1], &byte, 1) < 0) {
        // Full: a wake is pending anyway.
    }
}

void Terminal::drainWakes() {
    char drained[64];
    while (read(wakeEnds[0], drained, sizeof drained) > 0) {
    }
}

} // namespace simplatform
