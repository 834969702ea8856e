#include "sim/SimulatorState.h"

#include <unistd.h>

namespace is900sim {

void Simulator::State::receive() {
    uint8_t bytes[256];
    ssize_t count = read(master, bytes, sizeof bytes);
    for (ssize_t i = 0; i < count; ++i) {
        std::string command;
        {
            std::lock_guard<std::mutex> lock(mutex);
            received.push_back(bytes[i]);
            if (poweredOff && now() >= onAt) switchOn();
            // Switched off, the tracker hears nothing.
            if (poweredOff) {
                if (bytesUntilOn > 0 && --bytesUntilOn == 0) switchOn();
                continue;
            }
            if (!splitter.feed(bytes[i], command)) continue;
        }
        handleCommand(command);
    }
}

void Simulator::State::handleCommand(const std::string& command) {
    std::lock_guard<std::mutex> lock(mutex);
    std::string entry = restarting() ? "ignored " + command : command;
    if (!restarting()) {
        if (command == resetCommandText) {
            settings.powerUp(options.stations, options.startStreaming);
            quietUntil = now() + std::chrono::milliseconds(options.resetSilenceMs);
            say("reset: silent for %lu ms", options.resetSilenceMs);
        } else if (command == pollCommandText) {
            pollRequested = true;
        } else if (!applyCommand(command, settings)) {
            say("command not applied: %s", command.c_str());
        }
    }
    say("command %s", entry.c_str());
    commands.push_back(entry);
    if (commandFile.is_open()) commandFile << entry << std::endl;
    changed.notify_all();
}

} // namespace is900sim
