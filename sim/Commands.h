// The tracker's command interpreter: splits the received bytes into
// commands and applies them to the tracker's settings.
#pragma once

#include "sim/Records.h"
#include "sim/Simulator.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace is900sim {

struct TrackerSettings {
    bool binary = false;
    bool continuous = false;
    std::map<int, std::vector<int>> outputLists;
    std::map<int, AlignmentFrame> frames;

    // Power-up state for the configured stations.
    void powerUp(const std::vector<StationSetup>& stations, bool streaming);
};

// Control bytes and single letters act at once; "R", "A" and "O" commands
// run to a CR.
class CommandSplitter {
public:
    // True when byte completes a command, which is then in command.
    bool feed(uint8_t byte, std::string& command);

private:
    std::string pending;
};

const char resetCommandText[] = "^Y";
const char pollCommandText[] = "P";

// Applies a command other than the reset and the poll; false when the
// simulator does not know it or its arguments are wrong.
bool applyCommand(const std::string& command, TrackerSettings& settings);

} // namespace is900sim
