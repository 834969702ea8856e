// The tracker as its commands and its power make it, apart from the line
// that carries its bytes: the simulator runs it behind a pseudo-terminal,
// and tests run the same model behind an in-memory line on a clock of their
// own. Switched off, and while it boots, the tracker hears nothing; it comes
// on in its power-up state with an empty command buffer. After a reset it
// ignores commands for its restart time.
#pragma once

#include "sim/Commands.h"
#include "sim/Simulator.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace is900sim {

class TrackerModel {
public:
    typedef std::chrono::steady_clock::time_point TimePoint;

    TrackerModel(std::vector<StationSetup> stations, bool startStreaming, unsigned long resetSilenceMs,
                 unsigned long bootMs);

    // One byte from the line at that moment; true when it completes a
    // command the tracker hears, which is then in command.
    bool hear(uint8_t byte, TimePoint now, std::string& command);
    // Carries a heard command out; returns its entry for the command log,
    // "ignored " and the command while the tracker restarts. applied is
    // false for a command the tracker does not know.
    std::string carryOut(const std::string& command, TimePoint now, bool& applied);

    // Switched off now, on again after offMs and the boot time.
    void powerCycle(unsigned long offMs, TimePoint now);
    // While off: comes on right after the count-th byte it receives from now.
    void powerOnAfterBytes(std::size_t count);
    // Comes on when its time has come; true when it did just now.
    bool switchOnWhenDue(TimePoint now);
    bool poweredOn() const { return !off; }
    TimePoint poweredOnAt() const { return onAt; } // the last power-on, while on
    bool restarting(TimePoint now) const { return now < quietUntil; }
    // It sends records: continuous output or a poll, and not restarting.
    bool sends(TimePoint now) const { return (settings.continuous || pollRequested) && !restarting(now); }
    void pollAnswered() { pollRequested = false; }
    // When it next changes by itself (comes on, ends a restart); max for never.
    TimePoint nextChange(TimePoint now) const;

    TrackerSettings settings;

private:
    void switchOn(TimePoint now);

    std::vector<StationSetup> stations;
    bool startStreaming;
    unsigned long resetSilenceMs;
    unsigned long bootMs;
    CommandSplitter splitter;
    bool pollRequested = false;
    bool off = false;
    TimePoint onAt; // while off: when it comes on; while on: when it came on
    std::size_t bytesUntilOn = 0; // while off: comes on after that many bytes; 0 for none
    TimePoint quietUntil;
};

} // namespace is900sim
