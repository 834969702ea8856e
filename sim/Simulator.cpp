#include "sim/Simulator.h"

#include "sim/SimulatorState.h"

#include <cctype>
#include <optional>

namespace is900sim {

Simulator::Simulator(SimulatorOptions options) : state(new State(std::move(options))) {}

Simulator::~Simulator() { stop(); }

bool Simulator::start() {
    State& s = *state;
    if (s.running) return true;
    if (!s.linkLine()) {
        s.closeTerminal();
        return false;
    }
    if (!s.options.commandLogPath.empty()) {
        s.commandFile.open(s.options.commandLogPath, std::ios::out | std::ios::trunc);
        if (!s.commandFile) {
            s.error = "cannot write " + s.options.commandLogPath;
            s.closeTerminal();
            return false;
        }
    }
    for (const StationSetup& station : s.options.stations) {
        std::optional<StillPose> still;
        for (const StillPose& pose : s.options.stillPoses)
            if (pose.station == station.number) still = pose;
        std::optional<ScriptedMotion> script;
        for (const ScriptedMotion& scripted : s.options.scripts)
            if (scripted.station == station.number) script = scripted;
        SensorTip tip;
        for (const SensorTip& given : s.options.tips)
            if (given.station == station.number) tip = given;
        s.motions.emplace_back(station, s.options.seed, s.options.noise, still, script, s.options.transmitter, tip);
    }
    s.startedAt = s.now();
    s.say("tracker on %s%s%s", s.slave.c_str(), s.options.linkPath.empty() ? "" : ", link ",
          s.options.linkPath.c_str());
    s.running = true;
    s.thread = std::thread(&State::run, &s);
    return true;
}

void Simulator::stop() {
    State& s = *state;
    s.running = false;
    s.wake();
    if (s.thread.joinable()) s.thread.join();
    s.closeTerminal();
    if (!s.options.linkPath.empty()) s.terminal.removeLinkIfOurs(s.options.linkPath);
    if (s.commandFile.is_open()) s.commandFile.close();
}

std::string Simulator::slavePath() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->slave;
}
std::string Simulator::errorText() const { return state->error; }

std::vector<std::string> Simulator::commandLog() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->commands;
}

std::vector<uint8_t> Simulator::receivedBytes() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->received;
}

bool Simulator::waitForCommands(std::size_t count, unsigned long timeoutMs) const {
    std::unique_lock<std::mutex> lock(state->mutex);
    return state->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [&] { return state->commands.size() >= count; });
}

bool Simulator::waitForRecords(std::size_t count, unsigned long timeoutMs) const {
    std::unique_lock<std::mutex> lock(state->mutex);
    return state->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [&] { return state->sentCount >= count; });
}

std::vector<SentRecord> Simulator::sentRecords() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return std::vector<SentRecord>(state->sent.begin(), state->sent.end());
}

uint64_t Simulator::recordsSent() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->sentCount;
}

std::vector<SentRecord> Simulator::sentRecords(int station) const {
    std::lock_guard<std::mutex> lock(state->mutex);
    std::vector<SentRecord> records;
    for (const SentRecord& record : state->sent)
        if (record.station == station) records.push_back(record);
    return records;
}

void Simulator::setRecordCallback(std::function<void(const SentRecord&)> callback) {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->callback = std::move(callback);
}

bool Simulator::binaryMode() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->settings.binary;
}

bool Simulator::continuousMode() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->settings.continuous;
}

std::vector<int> Simulator::outputList(int station) const {
    std::lock_guard<std::mutex> lock(state->mutex);
    auto found = state->settings.outputLists.find(station);
    return found == state->settings.outputLists.end() ? std::vector<int>() : found->second;
}

int Simulator::lineBaudRate() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->baudInUse;
}

bool Simulator::hungUp() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->lineDown;
}

void Simulator::injectGarbage(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(state->mutex);
    Fault fault{Fault::garbage, bytes};
    state->faults.push_back(fault);
}

void Simulator::truncateNextRecord(std::size_t keepBytes) {
    std::lock_guard<std::mutex> lock(state->mutex);
    Fault fault{Fault::truncate, {}};
    fault.keepBytes = keepBytes;
    state->faults.push_back(fault);
}

void Simulator::forceCrLfInNextRecord() {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->faults.push_back(Fault{Fault::crLf, {}});
}

void Simulator::silence(unsigned long milliseconds) {
    std::lock_guard<std::mutex> lock(state->mutex);
    Fault fault{Fault::silence, {}};
    fault.milliseconds = milliseconds;
    state->faults.push_back(fault);
}

void Simulator::hangUp() {
    State& s = *state;
    if (!s.thread.joinable()) {
        s.closeTerminal();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.lineDown = true;
        return;
    }
    s.hangUpRequested = true;
    s.wake();
    std::unique_lock<std::mutex> lock(s.mutex);
    s.changed.wait_for(lock, std::chrono::seconds(2), [&] { return s.lineDown; });
}

void Simulator::unplug(unsigned long milliseconds) {
    State& s = *state;
    if (!s.thread.joinable() || milliseconds == 0) return;
    s.unplugRequestMs = milliseconds;
    s.wake();
    std::unique_lock<std::mutex> lock(s.mutex);
    s.changed.wait_for(lock, std::chrono::seconds(2), [&] { return s.unplugged || s.lineDown; });
}

bool Simulator::waitForLineBack(unsigned long timeoutMs) const {
    std::unique_lock<std::mutex> lock(state->mutex);
    return state->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [&] { return !state->unplugged && state->unplugRequestMs == 0; });
}

void Simulator::powerCycle(unsigned long milliseconds) {
    State& s = *state;
    std::lock_guard<std::mutex> lock(s.mutex);
    s.tracker.powerCycle(milliseconds, s.now());
    s.say("power cycle: off for %lu ms, then %lu ms to boot", milliseconds, s.options.bootMs);
    s.wake();
}

void Simulator::powerOnAfterBytes(std::size_t count) {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->tracker.powerOnAfterBytes(count);
}

bool Simulator::poweredOn() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->tracker.poweredOn();
}

std::chrono::steady_clock::time_point Simulator::poweredOnAt() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->tracker.poweredOnAt();
}

bool parseStationKind(const std::string& text, StationKind& kind) {
    std::string lower;
    for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "tracker") kind = StationKind::tracker;
    else if (lower == "wand") kind = StationKind::wand;
    else if (lower == "both") kind = StationKind::both;
    else return false;
    return true;
}

const char* stationKindName(StationKind kind) {
    switch (kind) {
    case StationKind::wand: return "wand";
    case StationKind::both: return "both";
    default: return "tracker";
    }
}

} // namespace is900sim
