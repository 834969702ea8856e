#include "TestLine.h"

#include "sim/Simulator.h"

std::string silentPortName() {
    static is900sim::Simulator simulator;
    static bool started = simulator.start();
    return started ? simulator.slavePath() : std::string("simulator failed: ") + simulator.errorText();
}

std::string missingPortName() { return "/nonexistent/is900-port"; }

bool exclusiveOpenEnforced() { return true; }
