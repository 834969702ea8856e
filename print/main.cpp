// is900-print: with no device, lists the devices of the IS-900 hosts on a DDS
// domain and their states; with one (NAME@HOST, or NAME when one host has
// it), prints its records as the host's JSON lines or table do until Ctrl-C
// or --duration. Exit 0; 2 for bad options; 3 when no host answers or none
// has the device.
#include "is900/hostkit/Client.h"
#include "is900/hostkit/RecordSchema.h"
#include "is900/signals/StopSignals.h"
#include "is900/table/RecordTable.h"

#include <CLI/CLI.hpp>

#include <condition_variable>
#include <iostream>
#include <mutex>

using namespace is900::hostkit;

namespace {

const int exitNoHost = 3;

struct PrintOptions {
    std::string device;
    int domain = 0;
    std::string prefix = "is900";
    std::string format = "jsonl";
    double durationSeconds = 0;
    double waitSeconds = 3;
    bool buttons = false;
};

// Ends the printing: a signal or --duration.
struct StopEvent {
    std::mutex mutex;
    std::condition_variable condition;
    bool stop = false;

    void request() {
        std::lock_guard<std::mutex> lock(mutex);
        stop = true;
        condition.notify_all();
    }
    void wait(double seconds) {
        std::unique_lock<std::mutex> lock(mutex);
        const auto stopped = [&] { return stop; };
        if (seconds > 0) condition.wait_for(lock, std::chrono::duration<double>(seconds), stopped);
        else condition.wait(lock, stopped);
    }
};

StopEvent stopEvent;

std::chrono::milliseconds millisecondsOf(double seconds) {
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

std::string stationList(const DeviceInfo& device) {
    std::string text;
    for (const TrackerInfo& tracker : device.trackers)
        text += " tracker" + std::to_string(tracker.recordId) + "=station" + std::to_string(tracker.station) +
                (tracker.processing == "none" ? "" : " (" + tracker.processing + ")");
    for (const ControllerInfo& controller : device.controllers)
        text += " controller" + std::to_string(controller.recordId) + "=station" + std::to_string(controller.station);
    return text;
}

int listDevices(Client& client, const PrintOptions& options) {
    const std::vector<DeviceInfo> devices = client.devices(millisecondsOf(options.waitSeconds));
    if (devices.empty()) {
        std::cerr << "is900-print: no host answered on DDS domain " << options.domain << " (prefix " << options.prefix
                  << ") within " << options.waitSeconds << " s" << std::endl;
        return exitNoHost;
    }
    for (const DeviceInfo& device : devices)
        std::cout << device.address() << " " << device.state << " port " << device.port << stationList(device) << "\n";
    std::cout.flush();
    return 0;
}

RecordView viewOf(const std::string& device, const TrackerPose& pose) {
    RecordView view;
    view.device = device;
    view.id = pose.recordId;
    view.station = pose.station;
    view.stamp = pose.stamp;
    for (int i = 0; i < 3; ++i) {
        view.pose[i] = static_cast<float>(pose.position[i]);
        view.pose[3 + i] = static_cast<float>(pose.angles[i]);
    }
    return view;
}

RecordView viewOf(const std::string& device, const ControllerSample& sample) {
    RecordView view;
    view.kind = RecordKind::controller;
    view.device = device;
    view.id = sample.recordId;
    view.station = sample.station;
    view.stamp = sample.stamp;
    view.buttons = sample.buttons;
    view.valuators = sample.valuators;
    return view;
}

std::string buttonLine(const DeviceInfo& device, const ButtonEdge& edge) {
    return "{\"type\":\"button\",\"id\":" + std::to_string(edge.recordId) + ",\"button\":" + std::to_string(edge.button) +
           ",\"pressed\":" + (edge.pressed ? "true" : "false") + ",\"sequence\":" + std::to_string(edge.sequence) +
           ",\"device\":" + jsonString(device.name) + "}";
}

int printDevice(Client& client, const PrintOptions& options) {
    DeviceInfo device;
    try {
        device = client.find(options.device, millisecondsOf(options.waitSeconds));
    } catch (const ClientError& error) {
        std::cerr << "is900-print: " << error.what() << std::endl;
        return exitNoHost;
    }
    std::cerr << "is900-print: " << device.address() << " " << device.state << "; Ctrl-C stops" << std::endl;
    std::mutex printing;
    LiveBoard board;
    const bool table = options.format == "table";
    const auto show = [&](const RecordView& view) {
        std::lock_guard<std::mutex> lock(printing);
        if (table) board.update(view, LiveBoard::Clock::now());
        else std::cout << jsonLine(view) << std::endl;
    };
    ClientHandlers handlers;
    handlers.pose = [&](const TrackerPose& pose) { show(viewOf(device.name, pose)); };
    handlers.controller = [&](const ControllerSample& sample) { show(viewOf(device.name, sample)); };
    if (options.buttons)
        handlers.button = [&](const ButtonEdge& edge) {
            std::lock_guard<std::mutex> lock(printing);
            std::cout << buttonLine(device, edge) << std::endl;
        };
    handlers.missedButtons = [](uint64_t first, uint64_t count) {
        std::cerr << "is900-print: missed " << count << " button edges from number " << first << std::endl;
    };
    handlers.state = [](const DeviceInfo& info) {
        std::cerr << "is900-print: " << info.address() << " " << info.state << std::endl;
    };
    client.subscribe(device, handlers);
    stopEvent.wait(options.durationSeconds);
    client.stop();
    if (table) std::cout << formatTable(board.snapshot(LiveBoard::Clock::now())) << std::flush;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Lists the IS-900 devices on a DDS domain, or prints one device's records."};
    PrintOptions options;
    app.add_option("device", options.device, "NAME@HOST, or NAME when one host has it; none: list the devices");
    app.add_option("--domain", options.domain, "DDS domain, 0 to 232")->check(CLI::Range(0, 232));
    app.add_option("--dds-prefix", options.prefix, "the hosts' --dds-prefix");
    app.add_option("--format", options.format, "jsonl or table (at the end)")->check(CLI::IsMember({"jsonl", "table"}));
    app.add_option("--duration", options.durationSeconds, "stop after SECONDS")->check(CLI::PositiveNumber);
    app.add_option("--wait", options.waitSeconds, "wait up to SECONDS for a host to answer")->check(CLI::NonNegativeNumber);
    app.add_flag("--buttons", options.buttons, "also print each button press and release as a JSON line");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : 2;
    }
    handleStopSignals([] { stopEvent.request(); });
    try {
        Client client(ClientOptions{options.domain, options.prefix});
        const int status = options.device.empty() ? listDevices(client, options) : printDevice(client, options);
        if (client.skippedEntries() > 0)
            std::cerr << "is900-print: skipped " << client.skippedEntries() << " unreadable directory entries" << std::endl;
        return status;
    } catch (const ClientError& error) {
        std::cerr << "is900-print: " << error.what() << std::endl;
        return exitNoHost;
    }
}
