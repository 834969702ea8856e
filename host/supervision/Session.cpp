#include "host/supervision/Session.h"

#include "host/outputs/OutputHub.h"
#include "host/supervision/DeviceRun.h"
#include "host/supervision/HostStorages.h"

#include <algorithm>
#include <chrono>
#include <iostream>

namespace {

using Clock = SupervisorClock::Clock;

// The longest sleep without a due time: a bound, not a poll.
const auto longestSleep = std::chrono::hours(1);

SupervisorClock systemClock;

Clock::duration seconds(double value) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(value));
}

} // namespace

Session::Session(HostStorages& storages, SessionOptions options, std::ostream& out, SessionEvents& events)
    : storages(storages), options(options), display(options.format, out, options.clock ? *options.clock : systemClock, options.outputs, options.table),
      events(events), clock(options.clock ? *options.clock : systemClock) {
    display.onReaderGone([&events] { events.requestStop(); });
}

Session::~Session() = default;

// Each device's block of IDs follows the blocks of the devices before it in
// the configuration, whenever it comes up.
void Session::addDevice(const DeviceDefinition& definition) {
    const HostStorages::Numbers bases{trackerIdsTaken, controllerIdsTaken};
    trackerIdsTaken += static_cast<uint32_t>(definition.setup.trackerStations().size());
    controllerIdsTaken += static_cast<uint32_t>(definition.setup.controllerStations().size());
    devices.emplace_back(new DeviceRun(definition, storages, bases, options, display, clock, events));
}

// The control thread sleeps until the next due time (a bring-up, a silence
// limit, the table's refresh, the end of --duration) or an event.
int Session::run() {
    const Clock::time_point begin = clock.now();
    const Clock::time_point end = begin + seconds(options.durationSeconds);
    Clock::time_point nextRefresh = begin;
    const Clock::duration refresh = seconds(options.terminal ? options.refreshSeconds : 1.0);
    int status = exitOk;
    while (!events.stopRequested()) {
        Clock::time_point now = clock.now();
        if (options.durationSeconds > 0 && now >= end) break;
        for (const DeviceRestart& request : events.takeRestarts())
            if ((status = restart(request)) != exitOk) break;
        if (status != exitOk) break;
        for (auto& device : devices)
            if ((status = device->supervise(now)) != exitOk) break;
        if (status != exitOk || allFailed()) break;
        now = clock.now();
        if (display.showsTable() && now >= nextRefresh) {
            display.table(options.terminal, statuses());
            nextRefresh = now + refresh;
        }
        Clock::time_point due = now + longestSleep;
        if (options.durationSeconds > 0) due = std::min(due, end);
        if (display.showsTable()) due = std::min(due, nextRefresh);
        for (const auto& device : devices) due = std::min(due, device->nextDue());
        events.waitUntil(clock, due);
    }
    // Reception may be waiting for a reader that stopped reading: it has to
    // end for the devices to stop.
    if (options.outputs) options.outputs->giveUpOnStalledOutputs();
    for (auto& device : devices) device->finish();
    events.devicesStopped();
    if (display.showsTable()) display.table(false, statuses());
    return status != exitOk ? status : endStatus();
}

int Session::restart(const DeviceRestart& request) {
    for (auto& device : devices)
        if (device->status().device == request.device) return device->restart(request.options, clock.now());
    return exitOk;
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
        if (device->status().state != DeviceState::failed && !device->cameUp()) {
            std::cerr << "is900-host: error: device '" << device->status().device
                      << "' could not be initialised (port " << device->portName() << "); it never came up"
                      << std::endl;
            status = exitInit;
        }
    }
    return status;
}
