// What reception costs, measured against simulated tracker lines at 115200
// baud:
// - the device against the floor, the least any reader can do on this
//   machine, in alternating rounds: CPU time per record and the delay from
//   the last byte written to the record in the storage (or its CR LF found);
// - the receiving thread's CPU time while the tracker is silent;
// - several devices with several stations each, every one on its own line
//   and receiving thread, sharing the host's two storages.
#include "LineRounds.h"

#include "is900/hostkit/PluginLibrary.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <string>
#include <vector>
#include <unistd.h>

namespace {

struct BenchOptions {
    int rounds = 5;
    int captureRounds = 0;
    double seconds = 5;
    double idleSeconds = 10;
    double scaleSeconds = 5;
    int devices = 0; // 0: the whole table
    int stations = 0;
};

void usage() {
    std::fprintf(stderr,
                 "usage: bench_reception [--rounds N] [--seconds S] [--idle S] [--scale-seconds S]\n"
                 "                       [--devices N --stations M]\n"
                 "  --rounds N         floor and device rounds, alternating (default 5; 0 skips them)\n"
                 "  --capture-rounds N device rounds without and with a capture of the line, alternating\n"
                 "                     (default 0: none)\n"
                 "  --seconds S        length of each round (default 5)\n"
                 "  --idle S           silence over which the idle receiving thread is measured (default 10; 0 skips)\n"
                 "  --scale-seconds S  length of each scale run (default 5; 0 skips the scale table)\n"
                 "  --devices N --stations M\n"
                 "                     one scale run of N devices with M stations each (1..4, 1..8) instead\n"
                 "                     of the table for 1, 2, 4 devices with 2 and 8 stations\n");
}

bool parseOptions(int argc, char** argv, BenchOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc) return false;
        const double value = std::atof(argv[++i]);
        if (name == "--rounds") options.rounds = static_cast<int>(value);
        else if (name == "--capture-rounds") options.captureRounds = static_cast<int>(value);
        else if (name == "--seconds") options.seconds = value;
        else if (name == "--idle") options.idleSeconds = value;
        else if (name == "--scale-seconds") options.scaleSeconds = value;
        else if (name == "--devices") options.devices = static_cast<int>(value);
        else if (name == "--stations") options.stations = static_cast<int>(value);
        else return false;
    }
    const bool oneRun = options.devices != 0 || options.stations != 0;
    return options.rounds >= 0 && options.captureRounds >= 0 && options.seconds > 0 && options.idleSeconds >= 0 && options.scaleSeconds >= 0 &&
           (!oneRun || (options.devices >= 1 && options.devices <= 4 && options.stations >= 1 && options.stations <= 8));
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct ReaderFigures {
    std::vector<double> cpu, latency50, latency99;
    long lost = 0;

    void add(const RoundFigures& round) {
        cpu.push_back(round.cpuPerRecordMicros());
        latency50.push_back(round.latencyPercentile(0.5));
        latency99.push_back(round.latencyPercentile(0.99));
        lost += round.lost;
    }
};

void printRound(int round, const char* reader, const RoundFigures& figures) {
    std::printf("%5d  %-6s  %7ld  %10.2f  %14.0f  %11.0f  %4ld\n", round, reader, figures.records,
                figures.cpuPerRecordMicros(), figures.latencyPercentile(0.5), figures.latencyPercentile(0.99),
                figures.lost);
}

void printMedians(const char* reader, const ReaderFigures& figures) {
    std::printf("%-14s  %10.2f  %14.0f  %11.0f\n", reader, median(figures.cpu), median(figures.latency50),
                median(figures.latency99));
}

bool runFloorAndDevice(const BenchOptions& options) {
    const LineSetup setup{1, 2, options.seconds};
    std::printf("Floor and device, %d rounds of %g s each, alternating: 2 tracker stations at 120 Hz, 115200 baud\n",
                options.rounds, options.seconds);
    std::printf("round  reader  records  CPU/record  latency median  99th pct.  lost\n");
    std::printf("                             (us)           (us)       (us)\n");
    ReaderFigures floor, device;
    for (int round = 1; round <= options.rounds; ++round) {
        const RoundFigures floorFigures = floorRound(setup);
        printRound(round, "floor", floorFigures);
        floor.add(floorFigures);
        const RoundFigures deviceFigures = deviceRound(setup);
        printRound(round, "device", deviceFigures);
        device.add(deviceFigures);
    }
    std::printf("\nmedians over the rounds  CPU/record  latency median  99th pct.\n");
    printMedians("floor", floor);
    printMedians("device", device);
    const double floorCpu = median(floor.cpu);
    std::printf("%-14s  %10.2f  %14.0f  %11.0f   (CPU as a ratio, latency as microseconds added; target CPU <= 1.1)\n\n",
                "device-floor", floorCpu > 0 ? median(device.cpu) / floorCpu : 0,
                median(device.latency50) - median(floor.latency50), median(device.latency99) - median(floor.latency99));
    return device.lost == 0;
}

long fileSize(const std::string& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    return file ? static_cast<long>(file.tellg()) : 0;
}

// The device's CPU per record without and with its line captured, and the
// capture file's bytes per record.
void runCaptureRounds(const BenchOptions& options) {
    const LineSetup setup{1, 2, options.seconds};
    const std::string capturePath = "/tmp/bench_reception-" + std::to_string(getpid()) + ".is900cap";
    std::printf("Capture off and on, %d rounds of %g s each, alternating: 2 tracker stations at 120 Hz, 115200 baud\n",
                options.captureRounds, options.seconds);
    std::printf("round  capture  records  lost  CPU/record (us)  file bytes/record\n");
    std::vector<double> off, on, bytesPerRecord;
    for (int round = 1; round <= options.captureRounds; ++round) {
        const RoundFigures plainFigures = deviceRound(setup);
        off.push_back(plainFigures.cpuPerRecordMicros());
        std::printf("%5d  %-7s  %7ld  %4ld  %15.2f\n", round, "off", plainFigures.records, plainFigures.lost,
                    off.back());
        const RoundFigures capturedFigures = deviceRound(setup, capturePath);
        const std::string file = capturePath + ".0";
        on.push_back(capturedFigures.cpuPerRecordMicros());
        bytesPerRecord.push_back(capturedFigures.records ? static_cast<double>(fileSize(file)) / capturedFigures.records : 0);
        std::remove(file.c_str());
        std::printf("%5d  %-7s  %7ld  %4ld  %15.2f  %17.1f\n", round, "on", capturedFigures.records,
                    capturedFigures.lost, on.back(), bytesPerRecord.back());
    }
    std::printf("medians: off %.2f us, on %.2f us, on/off %.3f (target <= 1.1); %.1f file bytes per record\n\n",
                median(off), median(on), median(off) > 0 ? median(on) / median(off) : 0, median(bytesPerRecord));
}

void runIdle(const BenchOptions& options) {
    const double perSecond = idleCpuPerSecond(options.idleSeconds);
    std::printf("Idle: over %g s of tracker silence the receiving thread used %.3f ms of CPU per second "
                "(target < 1 ms)\n\n",
                options.idleSeconds, perSecond * 1e3);
}

bool runScale(const BenchOptions& options) {
    std::vector<LineSetup> setups;
    if (options.devices != 0) {
        setups = {{1, 2, options.scaleSeconds}, {options.devices, options.stations, options.scaleSeconds}};
    } else {
        for (int devices : {1, 2, 4})
            for (int stations : {2, 8}) setups.push_back({devices, stations, options.scaleSeconds});
    }
    std::printf("Scale: %g s each; every device on its own line (115200 baud) and receiving thread,\n"
                "all sharing the host's two storages; stations at 120 Hz at most (the line limits 8 stations)\n",
                options.scaleSeconds);
    std::printf("devices  stations  IDs  records  lost  CPU/record  vs 1x2  latency median  99th pct.\n");
    std::printf("                                           (us)                    (us)       (us)\n");
    double reference = 0;
    long lost = 0;
    for (const LineSetup& setup : setups) {
        const RoundFigures figures = deviceRound(setup);
        if (setup.devices == 1 && setup.stations == 2) reference = figures.cpuPerRecordMicros();
        lost += figures.lost;
        std::printf("%7d  %8d  %3d  %7ld  %4ld  %10.2f  %6.2f  %14.0f  %9.0f\n", setup.devices, setup.stations,
                    setup.devices * setup.stations, figures.records, figures.lost, figures.cpuPerRecordMicros(),
                    reference > 0 ? figures.cpuPerRecordMicros() / reference : 0, figures.latencyPercentile(0.5),
                    figures.latencyPercentile(0.99));
    }
    std::printf("(target: no changed record lost; CPU per record within 1.2 times that of 1 device with 2 stations)\n");
    return lost == 0;
}

} // namespace

int main(int argc, char** argv) {
    BenchOptions options;
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        usage();
        return 0;
    }
    if (!parseOptions(argc, argv, options)) {
        usage();
        return 2;
    }
    const std::string plugin = is900::hostkit::defaultPluginPath();
    if (!std::ifstream(plugin)) {
        std::fprintf(stderr,
                     "bench_reception: the plug-in is missing: %s\n"
                     "(it is looked for beside this program and in ../lib/is900/ relative to it; build the is900 target)\n",
                     plugin.c_str());
        return 2;
    }
    try {
        bool allThere = true;
        if (options.rounds > 0) allThere = runFloorAndDevice(options) && allThere;
        if (options.captureRounds > 0) runCaptureRounds(options);
        if (options.idleSeconds > 0) runIdle(options);
        if (options.scaleSeconds > 0) allThere = runScale(options) && allThere;
        return allThere ? 0 : 1;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_reception: %s\n", failure.what());
        return 1;
    }
}
