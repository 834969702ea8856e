#include "host/outputs/DdsDiagnostics.h"

#include "host/outputs/DdsStamp.h"

#include <dds/dds.h>

#include <cstdio>
#include <deque>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

char* text(const std::string& value) { return const_cast<char*>(value.c_str()); }

std::string number(double value, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

std::string figure(const std::optional<double>& value, int decimals, const char* unit) {
    return value ? number(*value, decimals) + unit : "none";
}

// Written as the quality lines write them.
std::vector<std::pair<std::string, std::string>> qualityValues(const is900::hostkit::StationQuality& station) {
    const std::string name = "station " + std::to_string(station.station) + " ";
    const bool moving = station.moving.value_or(false);
    return {{name + "rate", figure(station.rate, 2, "")},
            {name + "gaps", std::to_string(station.gapCount)},
            {name + "longest gap", number(station.longestGap, 3) + " s"},
            {name + "position noise", moving ? "moving" : figure(station.positionNoiseMm, 3, " mm")},
            {name + "orientation noise", moving ? "moving" : figure(station.orientationNoiseDeg, 4, " deg")}};
}

} // namespace

DiagnosticLevel diagnosticLevel(DeviceState state) {
    switch (state) {
    case DeviceState::streaming: return DiagnosticLevel::ok;
    case DeviceState::failed: return DiagnosticLevel::error;
    case DeviceState::stopped: return DiagnosticLevel::stale;
    default: return DiagnosticLevel::warn;
    }
}

std::string diagnosticMessage(const DeviceStatus& status) {
    switch (status.state) {
    case DeviceState::streaming: return "streaming";
    case DeviceState::starting: return "starting: bring-up " + std::to_string(status.attempt) + " under way";
    case DeviceState::silent: return "silent: no record within the silence limit";
    case DeviceState::reconnecting:
        return "reconnecting: bring-up " + std::to_string(status.attempt) + " in " + std::to_string(status.retryInSeconds) + " s";
    case DeviceState::failed: return "failed: the host gave the device up";
    default: return "stopped";
    }
}

DdsDiagnostics::DdsDiagnostics(int32_t participant, const std::string& node, std::function<Snapshot()> snapshot)
    : node(node), snapshot(std::move(snapshot)) {
    const dds_entity_t topic = dds_create_topic(participant, &diagnostic_msgs_msg_dds__DiagnosticArray__desc,
                                                "rt/diagnostics", nullptr, nullptr);
    dds_qos_t* qos = dds_create_qos();
    dds_qset_reliability(qos, DDS_RELIABILITY_RELIABLE, DDS_SECS(1));
    dds_qset_durability(qos, DDS_DURABILITY_VOLATILE);
    dds_qset_history(qos, DDS_HISTORY_KEEP_LAST, 10);
    writer = topic < 0 ? topic : dds_create_writer(participant, topic, qos, nullptr);
    dds_delete_qos(qos);
    if (writer < 0) throw std::runtime_error(std::string("cannot publish rt/diagnostics: ") + dds_strretcode(writer));
    thread = std::thread([this] { run(); });
}

DdsDiagnostics::~DdsDiagnostics() { stop(); }

void DdsDiagnostics::publishSoon() {
    std::lock_guard<std::mutex> lock(mutex);
    soon = true;
    wake.notify_all();
}

void DdsDiagnostics::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        wake.notify_all();
    }
    if (thread.joinable()) thread.join();
}

// Publishes at once, then every second and when asked; a state change
// asked for just before the stop is still published.
void DdsDiagnostics::run() {
    auto due = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(mutex);
    while (true) {
        wake.wait_until(lock, due, [&] { return soon || stopping; });
        const bool last = stopping;
        if (last && !soon) return;
        soon = false;
        lock.unlock();
        publish(snapshot(), secondsSince1970());
        lock.lock();
        if (last) return;
        const auto now = std::chrono::steady_clock::now();
        while (due <= now) due += std::chrono::seconds(1);
    }
}

// Each output's mean time from the hub's hand-over to the end of a send,
// over the records it sent since the last array.
std::vector<std::pair<std::string, std::string>> DdsDiagnostics::latenciesSinceLastArray(
    const std::vector<OutputCounts>& outputs) {
    std::vector<std::pair<std::string, std::string>> latencies;
    for (const OutputCounts& output : outputs) {
        OutputCounts& before = countsAtLastArray[output.output];
        const uint64_t timed = output.timed - before.timed;
        const double mean = timed ? (output.latencySeconds - before.latencySeconds) / timed : 0;
        latencies.push_back({output.output, timed ? number(mean * 1000, 3) + " ms" : "none"});
        before = output;
    }
    return latencies;
}

void DdsDiagnostics::publish(const Snapshot& state, double seconds) {
    const double interval = lastArray > 0 ? seconds - lastArray : 0;
    lastArray = seconds;
    std::deque<std::string> keep; // the strings the sample points into; a deque never moves them
    std::vector<std::vector<diagnostic_msgs_msg_dds__KeyValue_>> values(state.devices.size());
    std::vector<diagnostic_msgs_msg_dds__DiagnosticStatus_> statuses;
    const std::vector<std::pair<std::string, std::string>> latencies = latenciesSinceLastArray(state.outputs);
    for (std::size_t i = 0; i < state.devices.size(); ++i) {
        const DdsDevice& device = state.devices[i];
        uint64_t& before = recordsAtLastArray[device.name];
        const double rate = interval > 0 ? (device.records - before) / interval : 0;
        before = device.records;
        const auto add = [&](const std::string& key, const std::string& value) {
            keep.push_back(key);
            char* k = text(keep.back());
            keep.push_back(value);
            values[i].push_back({k, text(keep.back())});
        };
        add("records per second", number(rate, 1));
        add("last record age", device.lastStamp > 0 ? number(seconds - device.lastStamp, 3) + " s" : "none yet");
        add("attempt", std::to_string(device.status.attempt));
        for (const OutputCounts& output : state.outputs) add("dropped " + output.output, std::to_string(output.dropped));
        for (const auto& latency : latencies) add("latency " + latency.first, latency.second);
        for (const is900::hostkit::StationQuality& station : device.quality.stations)
            for (const auto& value : qualityValues(station)) add(value.first, value.second);
        diagnostic_msgs_msg_dds__DiagnosticStatus_ status{};
        status.level = static_cast<uint8_t>(diagnosticLevel(device.status.state));
        keep.push_back(node + ": " + device.name);
        status.name = text(keep.back());
        keep.push_back(diagnosticMessage(device.status));
        status.message = text(keep.back());
        keep.push_back(device.name + " on " + device.port);
        status.hardware_id = text(keep.back());
        status.values._length = status.values._maximum = static_cast<uint32_t>(values[i].size());
        status.values._buffer = values[i].data();
        statuses.push_back(status);
    }
    diagnostic_msgs_msg_dds__DiagnosticArray_ array{};
    array.header.stamp = rosStamp(seconds);
    array.header.frame_id = const_cast<char*>("");
    array.status._length = array.status._maximum = static_cast<uint32_t>(statuses.size());
    array.status._buffer = statuses.data();
    dds_write(writer, &array);
}
