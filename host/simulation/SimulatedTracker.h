// The project's tracker simulator on a pseudo-terminal inside the host, set
// up with the stations the device's options switch on.
#pragma once

#include "is900/hostkit/DeviceSetup.h"
#include "sim/Simulator.h"

#include <memory>
#include <string>

class SimulatedTracker {
public:
    // Throws std::runtime_error when the pseudo-terminal cannot be set up.
    SimulatedTracker(const is900::hostkit::DeviceSetup& setup, const std::string& commandLogPath);
    explicit SimulatedTracker(const is900sim::SimulatorOptions& options);

    std::string portName() const { return simulator->slavePath(); }

private:
    std::unique_ptr<is900sim::Simulator> simulator;
};

is900sim::SimulatorOptions simulatorOptionsFor(const is900::hostkit::DeviceSetup& setup);
