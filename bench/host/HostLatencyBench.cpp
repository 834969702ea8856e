// The whole host's latency and idle CPU. A simulated tracker of the
// benchmark's own sends one tracker station at 120 Hz; is900-host runs with
// one output at a time (JSON lines on its standard output, OSC, DDS, the web
// view with one viewer), then with all four and 16 viewers, and the
// benchmark reads each output. A record's latency runs from just before its
// bytes went to the line to its arrival at each reader; the plug-in's own
// (last byte to storage, in-process) is measured in the alternating rounds
// between, with its receiving thread sending each record itself on one
// transport in turn (a bare send: the least an output can add, and what an
// output alone is held against). Then the tracker falls silent and the host
// process's CPU time is measured with every output on and 16 viewers.
//   bench_host_latency [rounds (3)] [seconds per round (5)] [idle seconds (10)]
#include "LineRounds.h"
#include "Ros2Messages.h"
#include "common/StartProgram.h"
#include "sim/Simulator.h"

#include <dds/dds.h>
#include <httplib.h>
#include <lo/lo.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Arrival times of tracker records at one reader.
struct Arrivals {
    std::mutex mutex;
    std::vector<Clock::time_point> at;
    void add(int count = 1, Clock::time_point now = Clock::now()) {
        std::lock_guard<std::mutex> lock(mutex);
        for (int n = 0; n < count; ++n) at.push_back(now);
    }
};

int countOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

int freePort() {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    close(socket);
    return ntohs(address.sin_port);
}

pid_t spawnWithOutput(const std::vector<std::string>& command, int& output) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) std::exit(1);
    const pid_t pid = startProgram(command, pipeEnds[1]);
    close(pipeEnds[1]);
    output = pipeEnds[0];
    return pid;
}

void readJsonLines(int output, Arrivals& arrivals) {
    char buffer[65536];
    ssize_t count;
    while ((count = read(output, buffer, sizeof buffer)) > 0)
        arrivals.add(countOf(std::string(buffer, static_cast<std::size_t>(count)), "{\"type\":\"tracker\""));
}

int oscArrived(const char* path, const char*, lo_arg**, int, lo_message, void* arrivals) {
    if (std::string(path).compare(0, 15, "/is900/tracker/") == 0) static_cast<Arrivals*>(arrivals)->add();
    return 0;
}

void ddsArrived(dds_entity_t reader, void* arrivals) {
    void* buffers[16] = {};
    dds_sample_info_t infos[16];
    const int count = dds_take(reader, buffers, infos, 16, 16);
    if (count > 0) {
        static_cast<Arrivals*>(arrivals)->add(count);
        dds_return_loan(reader, buffers, count);
    }
}

dds_entity_t ddsReader(int domain, Arrivals& arrivals) {
    const dds_entity_t participant = dds_create_participant(domain, nullptr, nullptr);
    dds_qos_t* qos = dds_create_qos();
    dds_qset_reliability(qos, DDS_RELIABILITY_BEST_EFFORT, 0);
    dds_listener_t* listener = dds_create_listener(&arrivals);
    dds_lset_data_available(listener, ddsArrived);
    dds_create_reader(participant,
                      dds_create_topic(participant, &geometry_msgs_msg_dds__PoseStamped__desc, "rt/is900/tracker1",
                                       nullptr, nullptr),
                      qos, listener);
    dds_delete_listener(listener);
    dds_delete_qos(qos);
    return participant;
}

// The bare DDS reader lives in a process of its own, started as
// "bench_host_latency --dds-reader DOMAIN": a reader in the writer's process
// would be handed each sample directly, not through the network as the
// host's are. It writes each arrival's steady-clock time in nanoseconds
// (the same clock in every process) as a line.
void printArrivals(dds_entity_t reader, void*) {
    void* buffers[16] = {};
    dds_sample_info_t infos[16];
    const int count = dds_take(reader, buffers, infos, 16, 16);
    if (count <= 0) return;
    const long long now = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
    for (int n = 0; n < count; ++n) std::printf("%lld\n", now);
    std::fflush(stdout);
    dds_return_loan(reader, buffers, count);
}

int readDdsUntilKilled(int domain) {
    const dds_entity_t participant = dds_create_participant(domain, nullptr, nullptr);
    dds_qos_t* qos = dds_create_qos();
    dds_qset_reliability(qos, DDS_RELIABILITY_BEST_EFFORT, 0);
    dds_listener_t* listener = dds_create_listener(nullptr);
    dds_lset_data_available(listener, printArrivals);
    dds_create_reader(participant,
                      dds_create_topic(participant, &geometry_msgs_msg_dds__PoseStamped__desc, "rt/is900/tracker1",
                                       nullptr, nullptr),
                      qos, listener);
    while (true) pause();
}

// Reads a --dds-reader process's lines into arrivals.
void readArrivalLines(int output, Arrivals& arrivals) {
    std::FILE* lines = fdopen(output, "r");
    long long nanoseconds = 0;
    while (std::fscanf(lines, "%lld", &nanoseconds) == 1)
        arrivals.add(1, Clock::time_point(std::chrono::nanoseconds(nanoseconds)));
    std::fclose(lines);
}

// A Server-Sent Events stream read to its end; arrivals, when given, counts tracker lines.
std::thread viewer(int port, Arrivals* arrivals, std::atomic<bool>& stop) {
    return std::thread([port, arrivals, &stop] {
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(60, 0);
        for (int tries = 0; tries < 100 && !stop; ++tries) {
            client.Get("/events", [&](const char* data, std::size_t length) {
                if (arrivals) arrivals->add(countOf(std::string(data, length), "\"type\":\"tracker\""));
                return !stop.load();
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the host is not listening yet
        }
    });
}

// Latencies in microseconds: each arrival against the last record written before it.
std::vector<double> latencies(const std::vector<Clock::time_point>& written, Arrivals& arrivals, Clock::time_point from) {
    std::lock_guard<std::mutex> lock(arrivals.mutex);
    std::vector<double> all;
    for (const Clock::time_point& at : arrivals.at) {
        auto after = std::upper_bound(written.begin(), written.end(), at);
        if (after == written.begin() || at < from) continue;
        all.push_back(std::chrono::duration<double, std::micro>(at - *(after - 1)).count());
    }
    return all;
}

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}

double median(std::vector<double> values) { return percentile(std::move(values), 0.5); }

// CPU seconds of every thread of the process so far, from the scheduler's own
// counts (nanoseconds; the clock ticks of /proc/PID/stat are too coarse).
double processCpuSeconds(pid_t pid) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* folder = opendir(tasks.c_str());
    double nanoseconds = 0;
    while (const dirent* entry = folder ? readdir(folder) : nullptr) {
        double thread = 0;
        if (entry->d_name[0] != '.' && std::ifstream(tasks + "/" + entry->d_name + "/schedstat") >> thread)
            nanoseconds += thread;
    }
    if (folder) closedir(folder);
    else std::fprintf(stderr, "is900-host is not running\n"), std::exit(1);
    return nanoseconds * 1e-9;
}

const char* const outputNames[] = {"JSON lines", "OSC", "DDS", "web view"};
const char* const bareNames[] = {"JSON", "OSC", "DDS", "web"};

// A bare web view: one viewer's event stream, written to by the sender itself.
class BareEventStream {
public:
    BareEventStream() {
        listening = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listening, 1);
        getsockname(listening, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~BareEventStream() {
        if (connection >= 0) close(connection);
        close(listening);
    }
    // Takes the viewer's request and answers with the stream's header.
    void accept() {
        connection = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
        std::string request;
        char buffer[4096];
        ssize_t count;
        while (request.find("\r\n\r\n") == std::string::npos && (count = read(connection, buffer, sizeof buffer)) > 0)
            request.append(buffer, static_cast<std::size_t>(count));
        send("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-cache\r\n\r\n");
    }
    void send(const std::string& text) {
        if (connection >= 0) ::send(connection, text.data(), text.size(), MSG_NOSIGNAL);
    }
    void end() {
        if (connection >= 0) shutdown(connection, SHUT_RDWR);
    }
    int port = 0;

private:
    int listening = -1;
    int connection = -1;
};

// Readers like the host's run has, and the receiving thread's own send of
// each record to one of them in turn, so that no send waits for another.
class BareSends {
public:
    explicit BareSends(int domain) {
        if (pipe2(lines, O_CLOEXEC) != 0) std::exit(1);
        jsonReader = std::thread(readJsonLines, lines[0], std::ref(arrivals[0]));
        oscServer = lo_server_thread_new_with_proto(nullptr, LO_UDP, nullptr);
        lo_server_thread_add_method(oscServer, nullptr, nullptr, oscArrived, &arrivals[1]);
        lo_server_thread_start(oscServer);
        oscTarget = lo_address_new("127.0.0.1", std::to_string(lo_server_thread_get_port(oscServer)).c_str());
        ddsReading = spawnWithOutput({"/proc/self/exe", "--dds-reader", std::to_string(domain)}, ddsOutput);
        ddsArrivals = std::thread(readArrivalLines, ddsOutput, std::ref(arrivals[2]));
        ddsWriting = dds_create_participant(domain, nullptr, nullptr);
        dds_qos_t* qos = dds_create_qos();
        dds_qset_reliability(qos, DDS_RELIABILITY_BEST_EFFORT, 0);
        ddsWriter = dds_create_writer(ddsWriting,
                                      dds_create_topic(ddsWriting, &geometry_msgs_msg_dds__PoseStamped__desc,
                                                       "rt/is900/tracker1", nullptr, nullptr),
                                      qos, nullptr);
        dds_delete_qos(qos);
        viewer = std::thread([this] {
            httplib::Client client("127.0.0.1", events.port);
            client.set_read_timeout(60, 0);
            client.Get("/events", [this](const char* data, std::size_t length) {
                arrivals[3].add(countOf(std::string(data, length), "\"type\":\"tracker\""));
                return true;
            });
        });
        events.accept();
        std::this_thread::sleep_for(std::chrono::seconds(2)); // DDS discovery
    }
    ~BareSends() {
        close(lines[1]);
        jsonReader.join();
        close(lines[0]);
        events.end();
        viewer.join();
        lo_address_free(oscTarget);
        lo_server_thread_free(oscServer);
        dds_delete(ddsWriting);
        kill(ddsReading, SIGTERM);
        waitpid(ddsReading, nullptr, 0);
        ddsArrivals.join();
    }
    void send(uint32_t id, const is900::hostkit::TraData& record) {
        float pose[6];
        const uint32_t fields[6] = {record.x, record.y, record.z, record.azim, record.elev, record.roll};
        for (int k = 0; k < 6; ++k) pose[k] = is900::hostkit::decodePose(fields[k]);
        char line[256];
        const int length = std::snprintf(
            line, sizeof line,
            "{\"type\":\"tracker\",\"id\":%u,\"x\":%.5f,\"y\":%.5f,\"z\":%.5f,\"azim\":%.5f,\"elev\":%.5f,\"roll\":%.5f}\n",
            id, pose[0], pose[1], pose[2], pose[3], pose[4], pose[5]);
        switch (sent++ % 4) {
        case 0:
            if (write(lines[1], line, static_cast<std::size_t>(length)) < 0) return;
            break;
        case 1:
            lo_send(oscTarget, ("/is900/tracker/" + std::to_string(id)).c_str(), "ffffff", pose[0], pose[1], pose[2],
                    pose[3], pose[4], pose[5]);
            break;
        case 2: {
            geometry_msgs_msg_dds__PoseStamped_ sample{};
            sample.header.frame_id = const_cast<char*>("is900");
            sample.pose.position = {pose[0] * 0.3048, pose[1] * 0.3048, pose[2] * 0.3048};
            sample.pose.orientation.w = 1;
            dds_write(ddsWriter, &sample);
            break;
        }
        default:
            events.send("data: " + std::string(line, static_cast<std::size_t>(length - 1)) + "\n\n");
        }
    }
    Arrivals arrivals[4];

private:
    unsigned long sent = 0;
    int lines[2];
    std::thread jsonReader;
    lo_server_thread oscServer;
    lo_address oscTarget;
    pid_t ddsReading;
    int ddsOutput = -1;
    std::thread ddsArrivals;
    dds_entity_t ddsWriting, ddsWriter;
    BareEventStream events;
    std::thread viewer;
};

// The plug-in's own latency, and each bare send's, in one round.
struct OwnRound {
    RoundFigures plugin;
    std::vector<double> bare[4];
};

OwnRound ownRound(double seconds, int domain) {
    OwnRound round;
    BareSends bare(domain);
    round.plugin = deviceRound(LineSetup{1, 1, seconds}, "",
                               [&bare](uint32_t id, const is900::hostkit::TraData& record) { bare.send(id, record); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (int k = 0; k < 4; ++k) round.bare[k] = latencies(round.plugin.writtenAt, bare.arrivals[k], Clock::time_point());
    return round;
}

struct HostRound {
    std::vector<double> latency[4];
    double idleCpuPerSecond = -1;
};

// outputs: bit k turns outputNames[k] on.
HostRound hostRound(double seconds, double idleSeconds, int domain, unsigned outputs, int viewerCount) {
    Arrivals arrivals[4];
    std::vector<Clock::time_point> written;
    std::mutex writtenMutex;
    is900sim::SimulatorOptions options;
    options.stations = {{1, is900sim::StationKind::tracker}};
    is900sim::Simulator tracker(options);
    tracker.setRecordCallback([&](const is900sim::SentRecord& record) {
        std::lock_guard<std::mutex> lock(writtenMutex);
        written.push_back(record.writeStartedAt);
    });
    if (!tracker.start()) std::fprintf(stderr, "simulator: %s\n", tracker.errorText().c_str()), std::exit(1);
    const std::string config = "/tmp/bench-host-latency-" + std::to_string(getpid()) + ".cfg";
    std::ofstream(config) << "port " << tracker.slavePath() << "\nbaud 115200\nsensors 1\n";

    lo_server_thread osc = lo_server_thread_new_with_proto(nullptr, LO_UDP, nullptr);
    lo_server_thread_add_method(osc, nullptr, nullptr, oscArrived, &arrivals[1]);
    lo_server_thread_start(osc);
    const dds_entity_t dds = ddsReader(domain, arrivals[2]);
    const int webPort = freePort();
    int output = -1;
    std::vector<std::string> command = {"./is900-host", "-c", config, "-q", "--silence", "100000", "--format",
                                        (outputs & 1) ? "jsonl" : "table"};
    if (outputs & 2)
        command.insert(command.end(), {"--osc", "osc.udp://127.0.0.1:" + std::to_string(lo_server_thread_get_port(osc))});
    if (outputs & 4) command.insert(command.end(), {"--dds", "--dds-domain", std::to_string(domain)});
    if (outputs & 8) command.insert(command.end(), {"--web", "127.0.0.1:" + std::to_string(webPort)});
    const pid_t host = spawnWithOutput(command, output);
    std::thread jsonReader(readJsonLines, output, std::ref(arrivals[0]));
    std::atomic<bool> stop{false};
    std::vector<std::thread> viewers;
    if (outputs & 8) {
        viewers.push_back(viewer(webPort, &arrivals[3], stop));
        for (int n = 1; n < viewerCount; ++n) viewers.push_back(viewer(webPort, nullptr, stop));
    }

    std::this_thread::sleep_for(std::chrono::seconds(3)); // set-up, DDS discovery, viewers connecting
    const Clock::time_point from = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    HostRound round;
    tracker.silence(static_cast<unsigned long>((idleSeconds + 10) * 1000));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    {
        std::lock_guard<std::mutex> lock(writtenMutex);
        for (int k = 0; k < 4; ++k) round.latency[k] = latencies(written, arrivals[k], from);
    }
    if (idleSeconds > 0) {
        std::this_thread::sleep_for(std::chrono::seconds(3)); // the device is seen silent
        const double before = processCpuSeconds(host);
        std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
        round.idleCpuPerSecond = (processCpuSeconds(host) - before) / idleSeconds;
    }
    stop = true;
    kill(host, SIGTERM);
    int status = 0;
    waitpid(host, &status, 0);
    jsonReader.join();
    close(output);
    for (std::thread& each : viewers) each.join();
    lo_server_thread_free(osc);
    dds_delete(dds);
    std::remove(config.c_str());
    return round;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--dds-reader") return readDdsUntilKilled(std::atoi(argv[2]));
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 5;
    const double idleSeconds = argc > 3 ? std::atof(argv[3]) : 10;
    setenv("CYCLONEDDS_URI", "file://" IS900_CONFIG_DIR "/cyclonedds-loopback.xml", 1);
    signal(SIGPIPE, SIG_IGN);
    const int domain = 1 + getpid() % 100;
    std::vector<double> plugin50, plugin99, bare50[4], bare99[4], alone50[4], alone99[4], all50[4], all99[4], idle;
    std::printf("round  path                 records  median (us)  99th pct. (us)\n");
    const auto show = [](int round, const std::string& path, const std::vector<double>& latencies,
                         std::vector<double>& medians, std::vector<double>& tails) {
        medians.push_back(median(latencies));
        tails.push_back(percentile(latencies, 0.99));
        std::printf("%5d  %-19s  %7zu  %11.0f  %14.0f\n", round, path.c_str(), latencies.size(), medians.back(),
                    tails.back());
    };
    for (int round = 1; round <= rounds; ++round) {
        const OwnRound own = ownRound(seconds, domain + 100 + round);
        show(round, "plug-in", own.plugin.latencies, plugin50, plugin99);
        for (int k = 0; k < 4; ++k) show(round, std::string("bare ") + bareNames[k], own.bare[k], bare50[k], bare99[k]);
        for (int k = 0; k < 4; ++k) {
            const HostRound alone = hostRound(seconds, 0, domain + 10 * round + k, 1u << k, 1);
            show(round, std::string(outputNames[k]) + " alone", alone.latency[k], alone50[k], alone99[k]);
        }
        const HostRound all = hostRound(seconds, round == rounds ? idleSeconds : 0, domain + 10 * round + 5, 15, 16);
        for (int k = 0; k < 4; ++k) show(round, std::string(outputNames[k]) + ", all on", all.latency[k], all50[k], all99[k]);
        if (all.idleCpuPerSecond >= 0) idle.push_back(all.idleCpuPerSecond);
    }
    std::printf("\nmedians over %d rounds of %g s, one tracker station at 120 Hz, 115200 baud; each output alone "
                "(the web view with one viewer), then all four at once with 16 viewers:\n",
                rounds, seconds);
    std::printf("path          median (us)  99th pct. (us)  added to the plug-in's  added to the bare send's  "
                "all on: median  99th pct.\n");
    std::printf("%-12s  %11.0f  %14.0f\n", "plug-in", median(plugin50), median(plugin99));
    for (int k = 0; k < 4; ++k)
        std::printf("bare %-7s  %11.0f  %14.0f  %22.0f\n", bareNames[k], median(bare50[k]), median(bare99[k]),
                    median(bare50[k]) - median(plugin50));
    for (int k = 0; k < 4; ++k)
        std::printf("%-12s  %11.0f  %14.0f  %22.0f  %24.0f  %14.0f  %9.0f\n", outputNames[k], median(alone50[k]),
                    median(alone99[k]), median(alone50[k]) - median(plugin50), median(alone50[k]) - median(bare50[k]),
                    median(all50[k]), median(all99[k]));
    if (!idle.empty())
        std::printf("\nidle, silent line, every output on, 16 viewers: %.3f ms CPU per second (whole host, %g s)\n",
                    idle.back() * 1e3, idleSeconds);
    return 0;
}
