#include "host/Session.h"

#include "host/DeviceRun.h"
#include "host/HostStorages.h"
#include "host/outputs/OutputHub.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

namespace {

using Clock = LiveBoard::Clock;

const auto pollInterval = std::chrono::milliseconds(20);

const char* stateName(DeviceState state) {
    switch (state) {
    case DeviceState::streaming: return "streaming";
    case DeviceState::reconnecting: return "reconnecting";
    case DeviceState::failed: return "failed";
    default: return "starting";
    }
}

} // namespace

double secondsSince1970() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string statusJsonLine(const DeviceStatus& status) {
    char tail[96];
    std::snprintf(tail, sizeof tail, ",\"attempt\":%d,\"retry_in\":%d,\"time\":%.3f}", status.attempt,
                  status.retryInSeconds, status.time);
    return "{\"type\":\"status\",\"device\":" + jsonString(status.device) + ",\"state\":\"" +
           stateName(status.state) + "\"" + tail;
}

std::string formatStatuses(const std::vector<DeviceStatus>& statuses) {
    std::string lines;
    for (const DeviceStatus& status : statuses) {
        char line[160];
        std::snprintf(line, sizeof line, "device %-10s %-12s attempt %d", status.device.c_str(),
                      stateName(status.state), status.attempt);
        lines += line;
        if (status.state == DeviceState::reconnecting)
            lines += ", next in " + std::to_string(status.retryInSeconds) + " s";
        lines += '\n';
    }
    return lines;
}

Display::Display(OutputFormat format, std::ostream& out, OutputHooks hooks, OutputHub* outputs)
    : format(format), out(out), hooks(std::move(hooks)), outputs(outputs) {}

void Display::record(const RecordView& view) {
    std::lock_guard<std::mutex> guard(mutex);
    board.update(view, Clock::now());
    if (outputs) outputs->publish(view.device, view);
    else if (format == OutputFormat::jsonl) out << jsonLine(view) << std::endl;
    if (hooks.record) hooks.record(view);
}

void Display::status(const DeviceStatus& state) {
    DeviceStatus status = state;
    status.time = secondsSince1970();
    std::lock_guard<std::mutex> guard(mutex);
    if (outputs) outputs->publishStatus(status);
    else if (format == OutputFormat::jsonl) out << statusJsonLine(status) << std::endl;
    if (hooks.status) hooks.status(status);
}

void Display::table(bool redraw, const std::vector<DeviceStatus>& statuses) {
    std::lock_guard<std::mutex> guard(mutex);
    if (redraw) out << "\033[H\033[J";
    out << formatTable(board.snapshot(Clock::now())) << formatStatuses(statuses);
    if (!redraw) out << '\n';
    out.flush();
}

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
