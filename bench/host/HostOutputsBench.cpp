// Runs is900-host against the simulator and prints the CPU time its
// receiving thread spends per record: with no output but the table, with
// every output on (JSON lines, record file, OSC to a live receiver, DDS with a
// reader), and with the OSC receiver's port closed and no DDS reader. Runs
// alternate between the set-ups; the median of each is printed. Everything
// stays on 127.0.0.1.
// With --tf it compares, in the same alternating runs, the whole host's CPU
// time per record (every thread) with --dds alone and with --dds --tf (the
// transforms beside the poses; the directory and diagnostics are on in both),
// each with a reader of every topic.
//   bench_host_outputs [--tf] [rounds (3)] [seconds per run (4)]
#include "Ros2Messages.h"
#include "common/StartProgram.h"
#include "sim/Simulator.h"

#include <dds/dds.h>
#include <lo/lo.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Setup {
    const char* name;
    std::vector<std::string> args;
};

struct Measurement {
    double cpuPerRecord = 0;        // the receiving thread's
    double processCpuPerRecord = 0; // every thread's
    double records = 0;
};

// The thread the host names "is900-receive", or an empty string.
std::string receivingThread(pid_t pid) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* folder = opendir(tasks.c_str());
    std::string found;
    while (folder && found.empty()) {
        const dirent* entry = readdir(folder);
        if (!entry) break;
        std::string name;
        std::ifstream(tasks + "/" + entry->d_name + "/comm") >> name;
        if (name == "is900-receive") found = tasks + "/" + entry->d_name;
    }
    if (folder) closedir(folder);
    return found;
}

// Nanoseconds the thread has run, from the scheduler's own count.
double cpuSeconds(const std::string& thread) {
    double nanoseconds = 0;
    std::ifstream(thread + "/schedstat") >> nanoseconds;
    return nanoseconds * 1e-9;
}

// Every thread of the process, from the scheduler's counts.
double processCpuSeconds(pid_t pid) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* folder = opendir(tasks.c_str());
    double total = 0;
    while (const dirent* entry = folder ? readdir(folder) : nullptr)
        if (entry->d_name[0] != '.') total += cpuSeconds(tasks + "/" + entry->d_name);
    if (folder) closedir(folder);
    return total;
}

Measurement measure(const Setup& setup, double seconds) {
    is900sim::SimulatorOptions options;
    options.stations = {{1, is900sim::StationKind::tracker}, {2, is900sim::StationKind::both}};
    is900sim::Simulator tracker(options);
    if (!tracker.start()) std::fprintf(stderr, "simulator: %s\n", tracker.errorText().c_str()), std::exit(1);
    const std::string config = "/tmp/bench-host-outputs-" + std::to_string(getpid()) + ".cfg";
    std::ofstream(config) << "port " << tracker.slavePath() << "\nbaud 115200\nsensors 1 1\ncontrollers 0 1\n";

    std::vector<std::string> command{"./is900-host", "-c", config, "-q", "--silence", "30"};
    command.insert(command.end(), setup.args.begin(), setup.args.end());
    const pid_t host = startProgram(command);
    Measurement result;
    std::string thread;
    for (int wait = 0; wait < 300 && (thread.empty() || tracker.sentRecords().size() < 200); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (thread.empty()) thread = receivingThread(host);
    }
    if (!thread.empty()) {
        const double cpuBefore = cpuSeconds(thread), processBefore = processCpuSeconds(host);
        const double sentBefore = static_cast<double>(tracker.sentRecords().size());
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        result.records = static_cast<double>(tracker.sentRecords().size()) - sentBefore;
        result.cpuPerRecord = (cpuSeconds(thread) - cpuBefore) / result.records;
        result.processCpuPerRecord = (processCpuSeconds(host) - processBefore) / result.records;
    }
    kill(host, SIGTERM);
    int status = 0;
    waitpid(host, &status, 0);
    std::remove(config.c_str());
    if (thread.empty() || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "is900-host (%s) did not stream or end cleanly\n", setup.name), std::exit(1);
    return result;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void loopbackOnlyDds() { setenv("CYCLONEDDS_URI", "file://" IS900_CONFIG_DIR "/cyclonedds-loopback.xml", 1); }

// A reader on each topic the host publishes, so DDS really sends.
dds_entity_t ddsReaders(int domain) {
    const dds_entity_t participant = dds_create_participant(domain, nullptr, nullptr);
    dds_qos_t* qos = dds_create_qos();
    dds_qset_reliability(qos, DDS_RELIABILITY_BEST_EFFORT, 0);
    const char* trackers[] = {"rt/is900/tracker1", "rt/is900/tracker2"};
    for (const char* name : trackers)
        dds_create_reader(participant,
                          dds_create_topic(participant, &geometry_msgs_msg_dds__PoseStamped__desc, name, nullptr, nullptr),
                          qos, nullptr);
    dds_create_reader(participant,
                      dds_create_topic(participant, &sensor_msgs_msg_dds__Joy__desc, "rt/is900/controller1", nullptr, nullptr),
                      qos, nullptr);
    dds_qset_reliability(qos, DDS_RELIABILITY_RELIABLE, DDS_SECS(1));
    dds_create_reader(participant,
                      dds_create_topic(participant, &tf2_msgs_msg_dds__TFMessage__desc, "rt/tf", nullptr, nullptr), qos,
                      nullptr);
    dds_delete_qos(qos);
    return participant;
}

int ignoreOsc(const char*, const char*, lo_arg**, int, lo_message, void*) { return 0; }

} // namespace

int main(int argc, char** argv) {
    const bool tf = argc > 1 && std::string(argv[1]) == "--tf";
    if (tf) --argc, ++argv;
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 4;
    loopbackOnlyDds();
    const int liveDomain = 1 + getpid() % 100, deafDomain = liveDomain + 100;
    const dds_entity_t readers = ddsReaders(liveDomain);
    lo_server_thread receiver = lo_server_thread_new_with_proto(nullptr, LO_UDP, nullptr);
    lo_server_thread_add_method(receiver, nullptr, nullptr, ignoreOsc, nullptr);
    lo_server_thread_start(receiver);
    const std::string liveOsc = "osc.udp://127.0.0.1:" + std::to_string(lo_server_thread_get_port(receiver));
    // A port that was just free: nobody listens there.
    lo_server closed = lo_server_new_with_proto(nullptr, LO_UDP, nullptr);
    const std::string closedOsc = "osc.udp://127.0.0.1:" + std::to_string(lo_server_get_port(closed));
    lo_server_free(closed);
    const std::string record = "/tmp/bench-host-outputs-" + std::to_string(getpid()) + ".jsonl";

    const std::vector<std::string> dds = {"--format", "table", "--dds", "--dds-domain", std::to_string(liveDomain)};
    std::vector<std::string> withTf = dds;
    withTf.push_back("--tf");
    const std::vector<Setup> setups = tf ? std::vector<Setup>{{"--dds", dds}, {"--dds --tf", withTf}} : std::vector<Setup>{
        {"no outputs (table)", {"--format", "table"}},
        {"all outputs", {"--format", "jsonl", "--record", record, "--osc", liveOsc, "--dds", "--dds-domain",
                         std::to_string(liveDomain)}},
        {"OSC port closed, no DDS reader", {"--format", "jsonl", "--record", record, "--osc", closedOsc, "--dds",
                                            "--dds-domain", std::to_string(deafDomain)}},
    };
    std::vector<std::vector<double>> cpu(setups.size()), process(setups.size()), records(setups.size());
    for (int round = 0; round < rounds; ++round)
        for (std::size_t k = 0; k < setups.size(); ++k) {
            const Measurement m = measure(setups[k], seconds);
            cpu[k].push_back(m.cpuPerRecord);
            process[k].push_back(m.processCpuPerRecord);
            records[k].push_back(m.records / seconds);
        }
    lo_server_thread_free(receiver);
    dds_delete(readers);
    std::remove(record.c_str());

    std::printf("is900-host receiving thread, 2 stations at 115200 baud, %d runs of %.0f s each, medians:\n", rounds,
                seconds);
    const double none = median(cpu[0]), first = median(process[0]);
    for (std::size_t k = 0; k < setups.size(); ++k)
        std::printf("  %-32s %7.2f us CPU per record  %6.1f records/s  %.2f x %s; whole host %7.2f us, %.2f x\n",
                    setups[k].name, median(cpu[k]) * 1e6, median(records[k]), median(cpu[k]) / none, setups[0].name,
                    median(process[k]) * 1e6, median(process[k]) / first);
    return 0;
}
