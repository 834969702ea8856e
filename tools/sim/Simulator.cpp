#include "tools/sim/Simulator.h"

#include "tools/sim/Commands.h"
#include "tools/sim/Motion.h"
#include "tools/sim/Records.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace is900sim {

namespace {

typedef std::chrono::steady_clock Clock;

const int idlePollMs = 20;

struct Fault {
    enum Kind { garbage, truncate, crLf, silence } kind;
    std::vector<uint8_t> bytes;
    std::size_t keepBytes = 0;
    unsigned long milliseconds = 0;
};

int baudOfSpeed(speed_t speed) {
    const struct {
        speed_t speed;
        int baud;
    } table[] = {{B1200, 1200},   {B2400, 2400},   {B4800, 4800},     {B9600, 9600},
                 {B19200, 19200}, {B38400, 38400}, {B57600, 57600},   {B115200, 115200}, {B230400, 230400}};
    for (const auto& entry : table)
        if (entry.speed == speed) return entry.baud;
    return 0;
}

std::string systemError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

} // namespace

struct Simulator::State {
    explicit State(SimulatorOptions options) : options(std::move(options)) {}

    void say(const char* format, ...) const;
    bool openTerminal();
    bool makeLink();
    void run();
    void receive();
    void handleCommand(const std::string& command);
    bool streaming() const;
    std::size_t sendCycle();
    std::size_t sendRecord(std::size_t index, double seconds);
    bool takeFaults(bool hasPosition, std::size_t& written, std::size_t& keepBytes, bool& forceCrLf);
    std::size_t writeOut(const std::vector<uint8_t>& bytes);
    bool restarting() const { return Clock::now() < quietUntil; }
    double cyclePeriod(std::size_t bytes);
    void closeTerminal();

    SimulatorOptions options;
    int master = -1;
    int slaveHold = -1;
    std::string slave;
    std::string error;
    std::thread thread;
    std::atomic<bool> running{false};
    std::atomic<bool> hangUpRequested{false};

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    TrackerSettings settings;
    CommandSplitter splitter;
    std::vector<std::string> commands;
    std::vector<uint8_t> received;
    std::vector<SentRecord> sent;
    std::deque<Fault> faults;
    std::function<void(const SentRecord&)> callback;
    std::vector<StationMotion> motions;
    std::ofstream commandFile;
    Clock::time_point quietUntil;
    Clock::time_point silentUntil;
    Clock::time_point nextCycle;
    uint64_t cycle = 0;
    int baudInUse = 0;
    bool lineDown = false;
    bool pollRequested = false;
};

void Simulator::State::say(const char* format, ...) const {
    if (!options.logToStderr) return;
    va_list args;
    va_start(args, format);
    std::fprintf(stderr, "is900-sim: ");
    std::vfprintf(stderr, format, args);
    std::fprintf(stderr, "\n");
    va_end(args);
}

// The slave side is held open so that the line stays up between the
// plug-in's opens; it starts raw at 38400 baud, as a freshly set-up port.
bool Simulator::State::openTerminal() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) return error = systemError("posix_openpt"), false;
    if (grantpt(master) != 0 || unlockpt(master) != 0) return error = systemError("grantpt/unlockpt"), false;
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0) return error = systemError("ptsname_r"), false;
    slave = name;
    slaveHold = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios line;
    if (slaveHold < 0 || tcgetattr(slaveHold, &line) != 0) return error = systemError(name), false;
    cfmakeraw(&line);
    cfsetispeed(&line, B38400);
    cfsetospeed(&line, B38400);
    if (tcsetattr(slaveHold, TCSANOW, &line) != 0) return error = systemError("tcsetattr"), false;
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    return true;
}

bool Simulator::State::makeLink() {
    if (options.linkPath.empty()) return true;
    unlink(options.linkPath.c_str());
    if (symlink(slave.c_str(), options.linkPath.c_str()) != 0) return error = systemError(options.linkPath.c_str()), false;
    return true;
}

void Simulator::State::closeTerminal() {
    if (master >= 0) close(master);
    if (slaveHold >= 0) close(slaveHold);
    master = slaveHold = -1;
}

bool Simulator::State::streaming() const {
    std::lock_guard<std::mutex> lock(mutex);
    Clock::time_point now = Clock::now();
    return (settings.continuous || pollRequested) && now >= quietUntil && now >= silentUntil;
}

void Simulator::State::run() {
    nextCycle = Clock::now();
    while (running && !hangUpRequested) {
        bool sending = streaming();
        long wait = sending ? static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                    nextCycle - Clock::now()).count())
                            : idlePollMs;
        pollfd entry{master, POLLIN, 0};
        int ready = poll(&entry, 1, static_cast<int>(wait < 0 ? 0 : wait > idlePollMs ? idlePollMs : wait));
        if (ready > 0 && (entry.revents & POLLIN)) receive();
        if (!sending) {
            nextCycle = Clock::now();
        } else if (Clock::now() >= nextCycle) {
            nextCycle += std::chrono::microseconds(static_cast<long long>(cyclePeriod(sendCycle()) * 1e6));
            if (nextCycle < Clock::now() - std::chrono::milliseconds(100)) nextCycle = Clock::now();
        }
    }
    if (hangUpRequested) {
        closeTerminal();
        say("line hung up");
        std::lock_guard<std::mutex> lock(mutex);
        lineDown = true;
        changed.notify_all();
    }
}

void Simulator::State::receive() {
    uint8_t bytes[256];
    ssize_t count = read(master, bytes, sizeof bytes);
    for (ssize_t i = 0; i < count; ++i) {
        std::string command;
        {
            std::lock_guard<std::mutex> lock(mutex);
            received.push_back(bytes[i]);
            if (!splitter.feed(bytes[i], command)) continue;
        }
        handleCommand(command);
    }
}

void Simulator::State::handleCommand(const std::string& command) {
    std::lock_guard<std::mutex> lock(mutex);
    std::string entry = restarting() ? "ignored " + command : command;
    if (!restarting()) {
        if (command == resetCommandText) {
            settings.powerUp(options.stations, options.startStreaming);
            quietUntil = Clock::now() + std::chrono::milliseconds(options.resetSilenceMs);
            say("reset: silent for %lu ms", options.resetSilenceMs);
        } else if (command == pollCommandText) {
            pollRequested = true;
        } else if (!applyCommand(command, settings)) {
            say("command not applied: %s", command.c_str());
        }
    }
    say("command %s", entry.c_str());
    commands.push_back(entry);
    if (commandFile.is_open()) commandFile << entry << std::endl;
    changed.notify_all();
}

// A cycle is one record per station; it takes at least as long as the line
// needs to carry it, so stations sharing a slow line get fewer updates each.
double Simulator::State::cyclePeriod(std::size_t bytes) {
    termios line;
    int baud = options.baudRate;
    if (baud <= 0 && tcgetattr(slaveHold, &line) == 0) baud = baudOfSpeed(cfgetospeed(&line));
    if (baud <= 0) baud = 38400;
    {
        std::lock_guard<std::mutex> lock(mutex);
        baudInUse = baud;
    }
    double lineTime = static_cast<double>(bytes) / (baud / 10.0);
    double rateTime = options.updateRate > 0 ? 1.0 / options.updateRate : 0.0;
    return lineTime > rateTime ? lineTime : rateTime;
}

std::size_t Simulator::State::sendCycle() {
    double seconds = options.updateRate > 0 ? static_cast<double>(cycle) / options.updateRate : 0.0;
    ++cycle;
    std::size_t bytes = 0;
    for (std::size_t index = 0; index < options.stations.size(); ++index) bytes += sendRecord(index, seconds);
    std::lock_guard<std::mutex> lock(mutex);
    pollRequested = false;
    return bytes;
}

// Never blocks: what the line cannot take now is lost, as on a serial line
// whose receiver does not keep up.
std::size_t Simulator::State::writeOut(const std::vector<uint8_t>& bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        ssize_t count = write(master, bytes.data() + written, bytes.size() - written);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        written += static_cast<std::size_t>(count);
    }
    return written;
}

// Applies the faults due before this record; false when a silence starts.
bool Simulator::State::takeFaults(bool hasPosition, std::size_t& written, std::size_t& keepBytes, bool& forceCrLf) {
    while (!faults.empty()) {
        Fault& fault = faults.front();
        if (fault.kind == Fault::crLf && !hasPosition) return true;
        if (fault.kind == Fault::garbage) {
            written += writeOut(fault.bytes);
            say("sent %zu bytes of garbage", fault.bytes.size());
        } else if (fault.kind == Fault::silence) {
            silentUntil = Clock::now() + std::chrono::milliseconds(fault.milliseconds);
            say("silent for %lu ms", fault.milliseconds);
            faults.pop_front();
            return false;
        } else if (fault.kind == Fault::truncate) {
            keepBytes = fault.keepBytes;
        } else {
            forceCrLf = true;
        }
        faults.pop_front();
        if (fault.kind != Fault::garbage) return true;
    }
    return true;
}

std::size_t Simulator::State::sendRecord(std::size_t index, double seconds) {
    const int station = options.stations[index].number;
    Sample sample = motions[index].next(seconds);
    std::unique_lock<std::mutex> lock(mutex);
    if (Clock::now() < silentUntil) return 0;
    const std::vector<int>& items = settings.outputLists[station];
    bool hasPosition = std::find(items.begin(), items.end(), 2) != items.end();
    std::size_t written = 0, keepBytes = SIZE_MAX;
    bool forceCrLf = false;
    if (!takeFaults(hasPosition, written, keepBytes, forceCrLf)) return written;
    SentRecord record = encodeRecord(station, items, settings.binary, options.centimetres,
                                     seenInFrame(settings.frames[station], sample), forceCrLf);
    if (keepBytes < record.bytes.size()) record.bytes.resize(keepBytes), record.truncated = true;
    std::size_t recordBytes = writeOut(record.bytes);
    written += recordBytes;
    if (recordBytes == 0) return written;
    if (recordBytes < record.bytes.size()) record.bytes.resize(recordBytes), record.truncated = true;
    record.sequence = sent.size();
    sent.push_back(record);
    changed.notify_all();
    std::function<void(const SentRecord&)> notify = callback;
    lock.unlock();
    if (notify) notify(record);
    return written;
}

Simulator::Simulator(SimulatorOptions options) : state(new State(std::move(options))) {}

Simulator::~Simulator() { stop(); }

bool Simulator::start() {
    State& s = *state;
    if (s.running) return true;
    if (!s.openTerminal() || !s.makeLink()) {
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
    s.settings.powerUp(s.options.stations, s.options.startStreaming);
    for (const StationSetup& station : s.options.stations) s.motions.emplace_back(station, s.options.seed);
    s.say("tracker on %s%s%s", s.slave.c_str(), s.options.linkPath.empty() ? "" : ", link ",
          s.options.linkPath.c_str());
    s.running = true;
    s.thread = std::thread(&State::run, &s);
    return true;
}

void Simulator::stop() {
    State& s = *state;
    s.running = false;
    if (s.thread.joinable()) s.thread.join();
    s.closeTerminal();
    if (!s.options.linkPath.empty()) {
        char target[256] = {};
        if (readlink(s.options.linkPath.c_str(), target, sizeof target - 1) > 0 && s.slave == target)
            unlink(s.options.linkPath.c_str());
    }
    if (s.commandFile.is_open()) s.commandFile.close();
}

std::string Simulator::slavePath() const { return state->slave; }
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
                                   [&] { return state->sent.size() >= count; });
}

std::vector<SentRecord> Simulator::sentRecords() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->sent;
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
    std::unique_lock<std::mutex> lock(s.mutex);
    s.changed.wait_for(lock, std::chrono::seconds(2), [&] { return s.lineDown; });
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
