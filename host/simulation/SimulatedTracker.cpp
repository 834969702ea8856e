#include "host/simulation/SimulatedTracker.h"

#include <stdexcept>

is900sim::SimulatorOptions simulatorOptionsFor(const is900::hostkit::DeviceSetup& setup) {
    is900sim::SimulatorOptions options;
    options.stations.clear();
    for (int station = 1; station <= 8; ++station) {
        const bool tracker = setup.trackerOn[station - 1];
        const bool wand = setup.controllerOn[station - 1];
        if (!tracker && !wand) continue;
        is900sim::StationSetup setup;
        setup.number = station;
        setup.kind = tracker && wand ? is900sim::StationKind::both
                     : tracker       ? is900sim::StationKind::tracker
                                     : is900sim::StationKind::wand;
        options.stations.push_back(setup);
    }
    options.centimetres = setup.centimetres;
    return options;
}

namespace {

is900sim::SimulatorOptions withCommandLog(is900sim::SimulatorOptions options, const std::string& path) {
    options.commandLogPath = path;
    return options;
}

} // namespace

SimulatedTracker::SimulatedTracker(const is900::hostkit::DeviceSetup& setup, const std::string& commandLogPath)
    : SimulatedTracker(withCommandLog(simulatorOptionsFor(setup), commandLogPath)) {}

SimulatedTracker::SimulatedTracker(const is900sim::SimulatorOptions& options) {
    simulator.reset(new is900sim::Simulator(options));
    if (!simulator->start()) throw std::runtime_error("cannot start the tracker simulator: " + simulator->errorText());
}
