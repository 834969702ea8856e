#include "sim/SimulatorState.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace is900sim {

namespace {

const int idlePollMs = 20;

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

void Simulator::State::say(const char* format, ...) const {
    if (!options.logToStderr) return;
    va_list args;
    va_start(args, format);
    std::fprintf(stderr, "is900-sim: ");
    std::vfprintf(stderr, format, args);
    std::fprintf(stderr, "\n");
    va_end(args);
}

// The slave side is held open so that the line stays up between the
// plug-in's opens; it starts raw at 38400 baud, as a freshly set-up port.
bool Simulator::State::openTerminal() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) return error = systemError("posix_openpt"), false;
    if (grantpt(master) != 0 || unlockpt(master) != 0) return error = systemError("grantpt/unlockpt"), false;
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0) return error = systemError("ptsname_r"), false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        slave = name;
    }
    slaveHold = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios line;
    if (slaveHold < 0 || tcgetattr(slaveHold, &line) != 0) return error = systemError(name), false;
    cfmakeraw(&line);
    cfsetispeed(&line, B38400);
    cfsetospeed(&line, B38400);
    if (tcsetattr(slaveHold, TCSANOW, &line) != 0) return error = systemError("tcsetattr"), false;
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    return true;
}

bool Simulator::State::makeLink() {
    if (options.linkPath.empty()) return true;
    unlink(options.linkPath.c_str());
    if (symlink(slave.c_str(), options.linkPath.c_str()) != 0) return error = systemError(options.linkPath.c_str()), false;
    return true;
}

void Simulator::State::closeTerminal() {
    if (master >= 0) close(master);
    if (slaveHold >= 0) close(slaveHold);
    master = slaveHold = -1;
}

bool Simulator::State::linkLine() { return openTerminal() && makeLink(); }

// The adapter is pulled out and plugged in again: the line and its link go
// away, and a new line appears under the same link path. The tracker keeps
// its settings, as it never lost power.
void Simulator::State::unplugFor(unsigned long milliseconds) {
    closeTerminal();
    if (!options.linkPath.empty()) unlink(options.linkPath.c_str());
    {
        std::lock_guard<std::mutex> lock(mutex);
        unplugged = true;
        changed.notify_all();
    }
    say("unplugged for %lu ms", milliseconds);
    const Clock::time_point back = now() + std::chrono::milliseconds(milliseconds);
    while (running && now() < back) poll(nullptr, 0, idlePollMs);
    if (!running) return;
    const bool plugged = linkLine();
    if (!plugged) {
        say("cannot plug the line in again: %s", error.c_str());
        closeTerminal();
        hangUpRequested = true;
        return;
    }
    std::lock_guard<std::mutex> lock(mutex);
    unplugged = false;
    nextCycle = now();
    say("plugged in again on %s", slave.c_str());
    changed.notify_all();
}

// Power-on: the power-up state, and what the command buffer held is gone.
void Simulator::State::switchOn() {
    poweredOff = false;
    bytesUntilOn = 0;
    settings.powerUp(options.stations, options.startStreaming);
    splitter = CommandSplitter();
    pollRequested = false;
    quietUntil = now();
    say("power on");
    changed.notify_all();
}

void Simulator::State::powerOnWhenDue() {
    std::lock_guard<std::mutex> lock(mutex);
    if (poweredOff && now() >= onAt) switchOn();
}

bool Simulator::State::streaming() const {
    std::lock_guard<std::mutex> lock(mutex);
    const Clock::time_point at = now();
    return (settings.continuous || pollRequested) && at >= quietUntil && at >= silentUntil;
}

void Simulator::State::run() {
    nextCycle = now();
    while (running && !hangUpRequested) {
        if (unsigned long unplugMs = unplugRequestMs.exchange(0)) {
            unplugFor(unplugMs);
            continue;
        }
        powerOnWhenDue();
        bool sending = streaming();
        long wait = sending ? static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                    nextCycle - now()).count())
                            : idlePollMs;
        pollfd entry{master, POLLIN, 0};
        int ready = poll(&entry, 1, static_cast<int>(wait < 0 ? 0 : wait > idlePollMs ? idlePollMs : wait));
        if (ready > 0 && (entry.revents & POLLIN)) receive();
        if (!sending) {
            nextCycle = now();
        } else if (now() >= nextCycle) {
            nextCycle = options.capture ? sendCapture() : options.replay ? sendReplay() : sendMotionCycle();
        }
    }
    if (hangUpRequested) {
        closeTerminal();
        say("line hung up");
        std::lock_guard<std::mutex> lock(mutex);
        lineDown = true;
        changed.notify_all();
    }
}

Clock::time_point Simulator::State::sendMotionCycle() {
    Clock::time_point next = nextCycle + std::chrono::microseconds(static_cast<long long>(cyclePeriod(sendCycle()) * 1e6));
    return next < now() - std::chrono::milliseconds(100) ? now() : next;
}

// A cycle is one record per station; it takes at least as long as the line
// needs to carry it, so stations sharing a slow line get fewer updates each.
double Simulator::State::cyclePeriod(std::size_t bytes) {
    termios line;
    int baud = options.baudRate;
    if (baud <= 0 && tcgetattr(slaveHold, &line) == 0) baud = baudOfSpeed(cfgetospeed(&line));
    if (baud <= 0) baud = 38400;
    {
        std::lock_guard<std::mutex> lock(mutex);
        baudInUse = baud;
    }
    double lineTime = static_cast<double>(bytes) / (baud / 10.0);
    double rateTime = options.updateRate > 0 ? 1.0 / options.updateRate : 0.0;
    return lineTime > rateTime ? lineTime : rateTime;
}

// Never blocks: what the line cannot take now is lost, as on a serial line
// whose receiver does not keep up.
std::size_t Simulator::State::writeOut(const std::vector<uint8_t>& bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        ssize_t count = write(master, bytes.data() + written, bytes.size() - written);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        written += static_cast<std::size_t>(count);
    }
    return written;
}

} // namespace is900sim
