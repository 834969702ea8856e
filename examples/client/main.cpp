// Follows the IS-900 devices of a DDS domain with the host kit's client:
// with no device, lists every device the hosts publish and its state; with
// one (NAME@HOST, or NAME when one host has it), prints its tracker poses,
// button presses and changes of state for a few seconds.
//
//   client [DEVICE [SECONDS [DOMAIN]]]
#include "is900/hostkit/Client.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

using namespace is900::hostkit;

namespace {

const std::chrono::seconds answerWait(3);

int listDevices(Client& client) {
    const std::vector<DeviceInfo> devices = client.devices(answerWait);
    if (devices.empty()) {
        std::fprintf(stderr, "client: no host answered\n");
        return 3;
    }
    for (const DeviceInfo& device : devices) {
        std::printf("%s %s port %s, %zu trackers, %zu controllers\n", device.address().c_str(),
                    device.state.c_str(), device.port.c_str(), device.trackers.size(), device.controllers.size());
        for (const TrackerInfo& tracker : device.trackers)
            std::printf("  tracker %u station %d in %s (%s)\n", tracker.recordId, tracker.station,
                        tracker.frame.c_str(), tracker.unit.c_str());
    }
    return 0;
}

int followDevice(Client& client, const std::string& address, double seconds) {
    DeviceInfo device;
    try {
        device = client.find(address, answerWait);
    } catch (const ClientError& error) {
        std::fprintf(stderr, "client: %s\n", error.what());
        return 3;
    }
    std::printf("%s is %s\n", device.address().c_str(), device.state.c_str());
    // Handlers run on the DDS threads, several at once: one lock for the output.
    std::mutex printing;
    ClientHandlers handlers;
    handlers.pose = [&](const TrackerPose& pose) {
        std::lock_guard<std::mutex> lock(printing);
        std::printf("tracker %u x=%.5f y=%.5f z=%.5f azim=%.3f elev=%.3f roll=%.3f\n", pose.recordId,
                    pose.position[0], pose.position[1], pose.position[2], pose.angles[0], pose.angles[1],
                    pose.angles[2]);
    };
    handlers.button = [&](const ButtonEdge& edge) {
        std::lock_guard<std::mutex> lock(printing);
        std::printf("controller %u button %u %s (edge %llu)\n", edge.recordId, edge.button,
                    edge.pressed ? "pressed" : "released", static_cast<unsigned long long>(edge.sequence));
    };
    handlers.missedButtons = [&](uint64_t first, uint64_t count) {
        std::lock_guard<std::mutex> lock(printing);
        std::printf("missed %llu button edges from %llu\n", static_cast<unsigned long long>(count),
                    static_cast<unsigned long long>(first));
    };
    handlers.state = [&](const DeviceInfo& info) {
        std::lock_guard<std::mutex> lock(printing);
        std::printf("%s is %s\n", info.address().c_str(), info.state.c_str());
    };
    client.subscribe(device, handlers);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    client.stop();
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string device = argc > 1 ? argv[1] : "";
    const double seconds = argc > 2 ? std::atof(argv[2]) : 5.0;
    ClientOptions options;
    options.domain = argc > 3 ? std::atoi(argv[3]) : 0;
    try {
        Client client(options);
        return device.empty() ? listDevices(client) : followDevice(client, device, seconds);
    } catch (const ClientError& error) {
        std::fprintf(stderr, "client: %s\n", error.what());
        return 1;
    }
}
