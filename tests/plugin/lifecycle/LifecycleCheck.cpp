// Usage: is900-lifecycle PORT [CYCLES]
// Runs the device's whole life cycle CYCLES times (default 1000) against a
// tracker on PORT: createDev, init (CAVE coordinates off, no reset, the
// example calibration library), configure, a few recvData, stop, deleteDev.
// Exits 1 when a step fails or the process ends with more open file
// descriptors than it started with. Meant to run under Valgrind.
#include "common/OptionLinesBuilder.h"
#include "common/PluginLibrary.h"
#include "common/KitRecords.h"

#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>

namespace {

const int recordsPerCycle = 5;

int openDescriptors() {
    DIR* folder = opendir("/proc/self/fd");
    if (!folder) return -1;
    int count = 0;
    while (readdir(folder)) ++count;
    closedir(folder);
    return count;
}

// One life cycle; false with the failing step on standard error.
bool cycle(const PluginLibrary& plugin, const char* port) {
    OptionLinesBuilder lines;
    lines.add("port", {port}).add("baud", {"115200"}).add("sensors", {"1", "1"}).add("controllers", {"0", "1"});
    lines.add("cavecoord", {"off"}).add("reset", {"no"});
    lines.add("calibration", {CALIB_OFFSET_FILE, "1.0", "0", "0", "-0.25"});
    is900::hostkit::HostStorage trackers(is900::hostkit::StorageKind::tracker);
    is900::hostkit::HostStorage controllers(is900::hostkit::StorageKind::controller);
    int32_t runFlag = 1;
    is900::hostkit::DevInitInfo kitInfo = is900::hostkit::deviceInitInfo(trackers, controllers, &runFlag);
    DevInitInfo& info = *kitrecords::plugin(&kitInfo);

    CBase* device = plugin.create(lines.get(), nullptr);
    if (!device) return std::cerr << "createDev failed\n", false;
    bool ok = device->init(&info) == 1;
    if (!ok) std::cerr << "init failed\n";
    if (ok && device->configure() == 0) ok = false, std::cerr << "configure failed\n";
    unsigned char masks[8];
    for (int i = 0; ok && i < recordsPerCycle; ++i)
        if (device->recvData(masks, nullptr) != 1) ok = false, std::cerr << "recvData failed\n";
    if (ok && !device->stop()) ok = false, std::cerr << "stop failed\n";
    if (!plugin.destroy(device)) ok = false, std::cerr << "deleteDev failed\n";
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: is900-lifecycle PORT [CYCLES]\n";
        return 2;
    }
    const int cycles = argc > 2 ? std::atoi(argv[2]) : 1000;
    // The plug-in's log lines and reports are not what this run looks at.
    std::ostringstream discard;
    std::streambuf* console = std::cout.rdbuf(discard.rdbuf());
    PluginLibrary plugin;
    if (!plugin.loaded()) return std::cerr << "cannot load the plug-in\n", 1;
    const int descriptorsAtStart = openDescriptors();
    int done = 0;
    while (done < cycles && cycle(plugin, argv[1])) {
        ++done;
        discard.str("");
    }
    const int descriptorsAtEnd = openDescriptors();
    std::cout.rdbuf(console);
    std::cout << "cycles: " << done << " of " << cycles << "\nopen file descriptors: " << descriptorsAtStart
              << " at the start, " << descriptorsAtEnd << " at the end" << std::endl;
    return done == cycles && descriptorsAtEnd == descriptorsAtStart ? 0 : 1;
}
