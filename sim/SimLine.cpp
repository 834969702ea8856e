#include "sim/SimulatorState.h"

#include <algorithm>
#include <cerrno>
#include <climits>
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

// A clock of a test's own may jump ahead: the line's thread then looks at
// it this often instead of sleeping until a due time.
const int testClockLookMs = 20;

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

Simulator::State::State(SimulatorOptions options)
    : options(std::move(options)),
      tracker(this->options.stations, this->options.startStreaming, this->options.resetSilenceMs, this->options.bootMs),
      settings(tracker.settings) {
    if (pipe2(wakeEnds, O_CLOEXEC | O_NONBLOCK) != 0) wakeEnds[0] = wakeEnds[1] = -1;
}

Simulator::State::~State() {
    for (int end : wakeEnds)
        if (end >= 0) close(end);
}

void Simulator::State::wake() {
    const char byte = 1;
    if (wakeEnds[1] >= 0 && write(wakeEnds[1], &byte, 1) < 0) {
        // Full: a wake is pending anyway.
    }
}

void Simulator::State::sleepUntil(Clock::time_point due, bool watchLine) {
    long long ms = -1;
    if (due != Clock::time_point::max())
        ms = std::max<long long>(0, std::chrono::ceil<std::chrono::milliseconds>(due - now()).count());
    if (options.clock && (ms < 0 || ms > testClockLookMs)) ms = testClockLookMs;
    pollfd entries[2] = {{wakeEnds[0], POLLIN, 0}, {watchLine ? master : -1, POLLIN, 0}};
    if (poll(entries, 2, static_cast<int>(std::min<long long>(ms, INT_MAX))) <= 0) return;
    if (entries[0].revents & POLLIN) drainWakes();
    if (entries[1].revents & POLLIN) receive();
}

void Simulator::State::drainWakes() {
    char drained[64];
    while (read(wakeEnds[0], drained, sizeof drained) > 0) {
    }
}

// When the tracker next changes on its own while it sends nothing: it comes
// on, or a restart's or a silence's quiet ends.
Clock::time_point Simulator::State::idleDue() const {
    std::lock_guard<std::mutex> lock(mutex);
    const Clock::time_point at = now();
    Clock::time_point due = tracker.nextChange(at);
    if (silentUntil > at) due = std::min(due, silentUntil);
    return due;
}

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
    while (running && now() < back) sleepUntil(back, false);
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

void Simulator::State::toldPowerOn() {
    say("power on");
    changed.notify_all();
}

void Simulator::State::powerOnWhenDue() {
    std::lock_guard<std::mutex> lock(mutex);
    if (tracker.switchOnWhenDue(now())) toldPowerOn();
}

bool Simulator::State::streaming() const {
    std::lock_guard<std::mutex> lock(mutex);
    const Clock::time_point at = now();
    return tracker.sends(at) && at >= silentUntil;
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
        sleepUntil(sending ? nextCycle : idleDue(), true);
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
