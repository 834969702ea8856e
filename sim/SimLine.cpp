#include "sim/SimulatorState.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>

namespace is900sim {

namespace {

// A clock of a test's own may jump ahead: the line's thread then looks at
// it this often instead of sleeping until a due time.
const int testClockLookMs = 20;

} // namespace

Simulator::State::State(SimulatorOptions options)
    : options(std::move(options)),
      tracker(this->options.stations, this->options.startStreaming, this->options.resetSilenceMs, this->options.bootMs),
      settings(tracker.settings) {}

void Simulator::State::wake() { terminal.wake(); }

void Simulator::State::sleepUntil(Clock::time_point due, bool watchLine) {
    long long ms = -1;
    if (due != Clock::time_point::max())
        ms = std::max<long long>(0, std::chrono::ceil<std::chrono::milliseconds>(due - now()).count());
    if (options.clock && (ms < 0 || ms > testClockLookMs)) ms = testClockLookMs;
    uint8_t bytes[256];
    const int limitMs = static_cast<int>(std::min<long long>(ms, INT_MAX));
    receive(bytes, terminal.readWithin(limitMs, watchLine, bytes, sizeof bytes));
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

bool Simulator::State::openTerminal() {
    const bool opened = terminal.open(error);
    std::lock_guard<std::mutex> lock(mutex);
    slave = terminal.slavePath();
    return opened;
}

bool Simulator::State::makeLink() { return options.linkPath.empty() || terminal.link(options.linkPath, error); }

void Simulator::State::closeTerminal() { terminal.close(); }

bool Simulator::State::linkLine() { return openTerminal() && makeLink(); }

// The adapter is pulled out and plugged in again: the line and its link go
// away, and a new line appears under the same link path. The tracker keeps
// its settings, as it never lost power.
void Simulator::State::unplugFor(unsigned long milliseconds) {
    closeTerminal();
    if (!options.linkPath.empty()) terminal.removeLink(options.linkPath);
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
    int baud = options.baudRate;
    if (baud <= 0) baud = terminal.baudRate();
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
        const simplatform::LineWrite step = terminal.writeSome(bytes.data() + written, bytes.size() - written);
        if (step.outcome == simplatform::LineWrite::interrupted) continue;
        if (step.outcome != simplatform::LineWrite::wrote) break;
        written += step.count;
    }
    return written;
}

} // namespace is900sim
