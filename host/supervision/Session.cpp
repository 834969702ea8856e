#include "host/supervision/Session.h"

#include "host/supervision/DeviceRun.h"
#include "host/supervision/HostStorages.h"

#include <chrono>
#include <iostream>
#include <thread>

namespace {

using Clock = LiveBoard::Clock;

const auto pollInterval = std::chrono::milliseconds(20);

} // namespace

Session::Session(HostStorages& storages, SessionOptions options, std::ostream& out)
    : storages(storages), options(options), display(options.format, out, options.hooks, options.outputs) {}

Session::~Session() = default;

// Each device's block of IDs follows the blocks of the devices before it in
// the configuration, whenever it comes up.
void Session::addDevice(const DeviceDefinition& definition) {
    const HostStorages::Numbers bases{trackerIdsTaken, controllerIdsTaken};
    trackerIdsTaken += static_cast<uint32_t>(definition.layout.trackerStations.size());
    controllerIdsTaken += static_cast<uint32_t>(definition.layout.controllerStations.size());
    devices.emplace_back(new DeviceRun(definition, storages, bases, options, display));
}

int Session::run(const std::atomic<bool>& stopRequested) {
    const Clock::time_point begin = Clock::now();
    Clock::time_point nextRefresh = begin;
    const auto refresh = std::chrono::duration<double>(options.terminal ? options.refreshSeconds : 1.0);
    int status = exitOk;
    while (status == exitOk && !allFailed()) {
        std::this_thread::sleep_for(pollInterval);
        const Clock::time_point now = Clock::now();
        if (stopRequested) break;
        if (options.durationSeconds > 0 && now - begin >= std::chrono::duration<double>(options.durationSeconds))
            break;
        for (auto& device : devices)
            if ((status = device->supervise(now)) != exitOk) break;
        if (display.showsTable() && now >= nextRefresh) {
            display.table(options.terminal, statuses());
            nextRefresh = now + std::chrono::duration_cast<Clock::duration>(refresh);
        }
    }
    if (display.showsTable()) display.table(false, statuses());
    for (auto& device : devices) device->shutDown();
    return status != exitOk ? status : endStatus();
}

std::vector<DeviceStatus> Session::statuses() const {
    std::vector<DeviceStatus> all;
    for (const auto& device : devices) all.push_back(device->status());
    return all;
}

bool Session::allFailed() const {
    for (const auto& device : devices)
        if (device->status().state != DeviceState::failed) return false;
    return true;
}

// A device that failed for good, or never came up, makes the run a failure.
int Session::endStatus() const {
    int status = exitOk;
    for (const auto& device : devices) {
        if (device->status().state == DeviceState::failed) status = exitInit;
        if (device->status().state != DeviceState::failed && !device->everStreamed()) {
            std::cerr << "is900-host: error: device '" << device->status().device
                      << "' could not be initialised (port " << device->portName() << "); it never came up"
                      << std::endl;
            status = exitInit;
        }
    }
    return status;
}
