#include "sim/SimulatorState.h"

namespace is900sim {

void Simulator::State::receive(const uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        std::string command;
        {
            std::lock_guard<std::mutex> lock(mutex);
            received.push_back(bytes[i]);
            const bool wasOn = tracker.poweredOn();
            const bool heard = tracker.hear(bytes[i], now(), command);
            if (!wasOn && tracker.poweredOn()) toldPowerOn();
            if (!heard) continue;
        }
        handleCommand(command);
    }
}

void Simulator::State::handleCommand(const std::string& command) {
    std::lock_guard<std::mutex> lock(mutex);
    bool applied = true;
    const bool wasContinuous = settings.continuous;
    const std::string entry = tracker.carryOut(command, now(), applied);
    // A recording plays from each start of continuous output, so that a
    // device that sets the tracker up once more before it uses its records
    // still gets all of them.
    if (!wasContinuous && settings.continuous) replayStarted = false, replayNext = 0;
    if (!applied) say("command not applied: %s", command.c_str());
    if (entry == resetCommandText) say("reset: silent for %lu ms", options.resetSilenceMs);
    say("command %s", entry.c_str());
    commands.push_back(entry);
    if (commandFile.is_open()) commandFile << entry << std::endl;
    changed.notify_all();
}

} // namespace is900sim
