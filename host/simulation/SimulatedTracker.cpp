#include "host/simulation/SimulatedTracker.h"

#include <algorithm>
#include <stdexcept>

namespace {

bool contains(const std::vector<int>& stations, int station) {
    return std::find(stations.begin(), stations.end(), station) != stations.end();
}

} // namespace

is900sim::SimulatorOptions simulatorOptionsFor(const StationLayout& layout) {
    is900sim::SimulatorOptions options;
    options.stations.clear();
    for (int station = 1; station <= 8; ++station) {
        const bool tracker = contains(layout.trackerStations, station);
        const bool wand = contains(layout.controllerStations, station);
        if (!tracker && !wand) continue;
        is900sim::StationSetup setup;
        setup.number = station;
        setup.kind = tracker && wand ? is900sim::StationKind::both
                     : tracker       ? is900sim::StationKind::tracker
                                     : is900sim::StationKind::wand;
        options.stations.push_back(setup);
    }
    options.centimetres = layout.centimetres;
    return options;
}

namespace {

is900sim::SimulatorOptions withCommandLog(is900sim::SimulatorOptions options, const std::string& path) {
    options.commandLogPath = path;
    return options;
}

} // namespace

SimulatedTracker::SimulatedTracker(const StationLayout& layout, const std::string& commandLogPath)
    : SimulatedTracker(withCommandLog(simulatorOptionsFor(layout), commandLogPath)) {}

SimulatedTracker::SimulatedTracker(const is900sim::SimulatorOptions& options) {
    simulator.reset(new is900sim::Simulator(options));
    if (!simulator->start()) throw std::runtime_error("cannot start the tracker simulator: " + simulator->errorText());
}
