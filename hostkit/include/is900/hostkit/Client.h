// The client component of the host kit: finds the IS-900 hosts of a DDS
// domain and their devices, addressed as "device@host", and calls back for
// a device's records, button edges and changes of state. Everything arrives
// on Cyclone DDS's own threads; a handler must not block for long.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace is900 {
namespace hostkit {

struct ClientError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct TrackerInfo {
    uint32_t recordId = 0;
    int station = 0;
    std::string unit;  // of the published positions, "m"
    std::string frame; // the frame the positions are in
    // What the host does to the poses before it publishes them ("none",
    // "predict 20 ms", "filter 0.3 12; predict 20 ms"), and the topic of the
    // device's own poses when it does something ("" when it does not).
    std::string processing = "none";
    std::string rawTopic = "";
};

struct ControllerInfo {
    uint32_t recordId = 0;
    int station = 0;
    uint32_t buttons = 0; // 0 until the host has seen a record
    uint32_t valuators = 0;
};

struct DeviceInfo {
    std::string name;
    std::string host;
    int pid = 0;
    std::string port;
    std::string state; // starting, streaming, silent, reconnecting, failed, stopped
    int attempt = 0;
    std::vector<TrackerInfo> trackers;
    std::vector<ControllerInfo> controllers;

    std::string address() const { return name + "@" + host; }
};

// A tracker record as the host shows it: feet and degrees.
struct TrackerPose {
    uint32_t recordId = 0;
    int station = 0;
    double stamp = 0;            // seconds since 1970
    double position[3] = {};     // x, y, z in feet
    double angles[3] = {};       // azimuth, elevation, roll in degrees
    double quaternion[4] = {};   // x, y, z, w as published
};

struct ControllerSample {
    uint32_t recordId = 0;
    int station = 0;
    double stamp = 0;
    std::vector<bool> buttons;
    std::vector<float> valuators;
};

struct ButtonEdge {
    uint32_t recordId = 0;
    uint32_t button = 0; // from 1
    bool pressed = false;
    uint64_t sequence = 0;
    double stamp = 0;
};

struct ClientHandlers {
    std::function<void(const TrackerPose&)> pose;
    std::function<void(const ControllerSample&)> controller;
    std::function<void(const ButtonEdge&)> button;
    // Edges that never arrived: sequence numbers first .. first + count - 1.
    std::function<void(uint64_t first, uint64_t count)> missedButtons;
    // The device's entry changed state, or its host ended (state "gone").
    std::function<void(const DeviceInfo&)> state;
};

struct ClientOptions {
    int domain = 0;
    std::string prefix = "is900";
};

class Client {
public:
    // Throws ClientError when the domain cannot be joined.
    explicit Client(const ClientOptions& options);
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Every device of the hosts that answered within wait; returns once one
    // host's entry is readable and every host found has handed over its
    // entry (an unreadable entry answers, but is not enough).
    std::vector<DeviceInfo> devices(std::chrono::milliseconds wait);
    // The device "name@host", or "name" when one host has it; throws
    // ClientError naming the devices it sees otherwise.
    DeviceInfo find(const std::string& address, std::chrono::milliseconds wait);
    // Calls back for the device's records and edges until the client ends.
    void subscribe(const DeviceInfo& device, ClientHandlers handlers);
    // Ends every callback; returns once none runs. The destructor does it too.
    void stop();
    // Directory entries skipped as unreadable (another version, missing fields).
    uint64_t skippedEntries() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

// "name@host" split in two; host empty when there is no '@'.
std::pair<std::string, std::string> splitAddress(const std::string& address);

} // namespace hostkit
} // namespace is900
