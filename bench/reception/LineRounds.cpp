#include "LineRounds.h"

#include "DeviceRig.h"
#include "common/CoutCapture.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <memory>
#include <pthread.h>
#include <stdexcept>
#include <termios.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

const int baudRate = 115200;
const double updateRate = 120.0;
// Once the simulators fall silent, the readers take what is still on the
// lines before the host clears its run flag.
const auto drainTime = std::chrono::milliseconds(200);

double cpuSecondsOf(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double threadCpuSeconds() { return cpuSecondsOf(CLOCK_THREAD_CPUTIME_ID); }

void pause(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

double microsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::micro>(to - from).count();
}

std::vector<Station> trackerStations(int count) {
    std::vector<Station> stations;
    for (int number = 1; number <= count; ++number) stations.push_back({number, is900sim::StationKind::tracker});
    return stations;
}

// The floor's line: the same simulator as the device's, streaming from the start.
is900sim::SimulatorOptions floorSimulatorOptions(int stations) {
    is900sim::SimulatorOptions options;
    options.stations.clear();
    for (const Station& station : trackerStations(stations)) options.stations.push_back({station.number, station.kind});
    options.updateRate = updateRate;
    options.baudRate = baudRate;
    options.startStreaming = true;
    options.keptRecords = 200000; // every record of a round: they are matched to the line's bytes from the first
    return options;
}

// Raw 115200 baud; a read returns what the line holds, or nothing after a second.
int openFloorLine(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (fd < 0 || tcgetattr(fd, &settings) != 0) throw std::runtime_error("cannot open " + path);
    cfmakeraw(&settings);
    cfsetispeed(&settings, B115200);
    cfsetospeed(&settings, B115200);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 10;
    tcsetattr(fd, TCSANOW, &settings);
    return fd;
}

struct RecordEnd {
    uint64_t offset; // stream offset just past the LF
    Clock::time_point at;
};

// The floor itself: read, find CR LF, note where and when.
void readFloor(int fd, const std::atomic<bool>& running, std::vector<RecordEnd>& ends, double& cpuSeconds) {
    const double cpuStart = threadCpuSeconds();
    unsigned char buffer[4096];
    uint64_t offset = 0;
    unsigned char previous = 0;
    while (running.load(std::memory_order_relaxed)) {
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) break;
        for (ssize_t i = 0; i < count; ++i) {
            if (buffer[i] == 0x0A && previous == 0x0D) ends.push_back({offset + static_cast<uint64_t>(i) + 1, Clock::now()});
            previous = buffer[i];
        }
        offset += static_cast<uint64_t>(count);
    }
    cpuSeconds = threadCpuSeconds() - cpuStart;
}

void timeFloorRecords(const std::vector<is900sim::SentRecord>& sent, const std::vector<RecordEnd>& ends,
                      Clock::time_point from, RoundFigures& figures) {
    uint64_t offset = 0;
    size_t next = 0;
    for (const auto& record : sent) {
        offset += record.bytes.size();
        while (next < ends.size() && ends[next].offset < offset) ++next;
        if (next == ends.size() || ends[next].offset != offset) {
            ++figures.lost;
            continue;
        }
        if (record.writeStartedAt >= from) figures.latencies.push_back(microsBetween(record.writeStartedAt, ends[next].at));
    }
}

struct Publication {
    Clock::time_point at;
    uint32_t id;
    TraData record;
};

// One device on its own line and receiving thread, as a host runs it.
struct DeviceLine {
    std::unique_ptr<DeviceRig> rig;
    uint32_t firstId = 0;
    std::vector<Publication> published;
    double cpuSeconds = 0;
    std::thread thread;
};

void receive(DeviceLine& line, int stations, is900::hostkit::HostStorage& trackers, const RecordSink& sink) {
    const double cpuStart = threadCpuSeconds();
    DeviceRig& rig = *line.rig;
    while (rig.device()->recvData(rig.masks, nullptr) == 1) {
        Clock::time_point stored{};
        for (uint32_t id = line.firstId; id < line.firstId + static_cast<uint32_t>(stations); ++id) {
            if (!maskHas(rig.masks, id)) continue;
            if (stored == Clock::time_point{}) stored = Clock::now();
            Publication publication{stored, id, TraData()};
            if (!kitrecords::readTraData(trackers, id, publication.record)) continue;
            line.published.push_back(publication);
            if (sink) sink(id, kitrecords::copyRecord<is900::hostkit::TraData>(publication.record));
        }
    }
    line.cpuSeconds = threadCpuSeconds() - cpuStart;
}

// Walks each station's sent records in order and finds the publication of
// every one whose pose changed; a record without one is lost.
void timeDeviceRecords(const DeviceLine& line, int stations, Clock::time_point from, RoundFigures& figures) {
    const std::vector<is900sim::SentRecord> sent = line.rig->simulator().sentRecords();
    figures.records += static_cast<long>(sent.size());
    for (const auto& record : sent) figures.writtenAt.push_back(record.writeStartedAt);
    for (int station = 1; station <= stations; ++station) {
        std::vector<const Publication*> published;
        for (const Publication& entry : line.published)
            if (entry.id == line.firstId + static_cast<uint32_t>(station) - 1) published.push_back(&entry);
        size_t next = 0;
        TraData previous;
        previous.clear();
        for (const auto& record : sent) {
            if (record.station != station || record.crLfInside) continue;
            const TraData expected = expectedTraData(record, false, false);
            if (samePose(expected, previous)) continue;
            previous = expected;
            size_t match = next;
            while (match < published.size() && !samePose(published[match]->record, expected)) ++match;
            if (match == published.size()) {
                ++figures.lost;
                continue;
            }
            if (record.writeStartedAt >= from) figures.latencies.push_back(microsBetween(record.writeStartedAt, published[match]->at));
            next = match + 1;
        }
    }
}

void stopReceiving(DeviceRig& rig) { __atomic_store_n(&rig.runFlag, 0, __ATOMIC_RELAXED); }

void startDevices(std::vector<DeviceLine>& lines, const LineSetup& setup, is900::hostkit::HostStorage& trackers,
                  is900::hostkit::HostStorage& controllers, const std::string& capturePath = "") {
    for (int device = 0; device < setup.devices; ++device) {
        DeviceLine line;
        line.rig.reset(new DeviceRig(trackerStations(setup.stations), baudRate, updateRate));
        line.rig->lines.add("sensors", std::vector<std::string>(static_cast<size_t>(setup.stations), "1"))
            .add("cavecoord", {"off"});
        if (!capturePath.empty()) line.rig->lines.add("capture", {capturePath + "." + std::to_string(device)});
        line.published.reserve(static_cast<size_t>(setup.seconds * updateRate * setup.stations * 1.2) + 64);
        lines.push_back(std::move(line));
    }
    CoutCapture quiet;
    for (DeviceLine& line : lines) {
        line.firstId = trackers.recordCount() + 1;
        if (line.rig->init(trackers, controllers) != 1) throw std::runtime_error("a device did not initialise");
    }
    for (DeviceLine& line : lines)
        if (line.rig->device()->configure() != 2) throw std::runtime_error("a device did not start streaming");
}

} // namespace

double RoundFigures::cpuPerRecordMicros() const {
    return records > 0 ? cpuSeconds * 1e6 / static_cast<double>(records) : 0;
}

double RoundFigures::latencyPercentile(double fraction) const {
    if (latencies.empty()) return 0;
    std::vector<double> sorted = latencies;
    std::sort(sorted.begin(), sorted.end());
    return sorted[static_cast<size_t>(fraction * static_cast<double>(sorted.size() - 1))];
}

RoundFigures floorRound(const LineSetup& setup) {
    is900sim::Simulator simulator(floorSimulatorOptions(setup.stations));
    if (!simulator.start()) throw std::runtime_error(simulator.errorText());
    const int fd = openFloorLine(simulator.slavePath());
    std::atomic<bool> running{true};
    std::vector<RecordEnd> ends;
    ends.reserve(static_cast<size_t>(setup.seconds * updateRate * setup.stations * 1.2) + 64);
    RoundFigures figures;
    const Clock::time_point from = Clock::now();
    std::thread reader(readFloor, fd, std::cref(running), std::ref(ends), std::ref(figures.cpuSeconds));
    pause(setup.seconds);
    simulator.silence(60000);
    std::this_thread::sleep_for(drainTime);
    running = false;
    reader.join();
    close(fd);
    const std::vector<is900sim::SentRecord> sent = simulator.sentRecords();
    figures.records = static_cast<long>(sent.size());
    timeFloorRecords(sent, ends, from, figures);
    return figures;
}

RoundFigures deviceRound(const LineSetup& setup, const std::string& capturePath, const RecordSink& sink) {
    is900::hostkit::HostStorage trackers{is900::hostkit::StorageKind::tracker};
    is900::hostkit::HostStorage controllers{is900::hostkit::StorageKind::controller};
    std::vector<DeviceLine> lines;
    startDevices(lines, setup, trackers, controllers, capturePath);
    const Clock::time_point from = Clock::now();
    for (DeviceLine& line : lines)
        line.thread = std::thread(receive, std::ref(line), setup.stations, std::ref(trackers), std::cref(sink));
    pause(setup.seconds);
    for (DeviceLine& line : lines) line.rig->simulator().silence(60000);
    std::this_thread::sleep_for(drainTime);
    for (DeviceLine& line : lines) stopReceiving(*line.rig);
    RoundFigures figures;
    for (DeviceLine& line : lines) {
        line.thread.join();
        figures.cpuSeconds += line.cpuSeconds;
        timeDeviceRecords(line, setup.stations, from, figures);
    }
    CoutCapture quiet;
    for (DeviceLine& line : lines) line.rig->device()->stop();
    return figures;
}

double idleCpuPerSecond(double seconds) {
    is900::hostkit::HostStorage trackers{is900::hostkit::StorageKind::tracker};
    is900::hostkit::HostStorage controllers{is900::hostkit::StorageKind::controller};
    std::vector<DeviceLine> lines;
    startDevices(lines, LineSetup{1, 2, seconds}, trackers, controllers);
    DeviceLine& line = lines.front();
    line.thread = std::thread(receive, std::ref(line), 2, std::ref(trackers), RecordSink());
    pause(0.5);
    line.rig->simulator().silence(static_cast<unsigned long>((seconds + 10) * 1000));
    pause(1.5); // the rest of the stream is read and the first wait has begun
    clockid_t clock;
    pthread_getcpuclockid(line.thread.native_handle(), &clock);
    const double before = cpuSecondsOf(clock);
    pause(seconds);
    const double used = cpuSecondsOf(clock) - before;
    stopReceiving(*line.rig);
    line.thread.join();
    CoutCapture quiet;
    line.rig->device()->stop();
    return used / seconds;
}
