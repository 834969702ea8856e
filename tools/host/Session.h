// One device driven the way the host contract asks: createDev, init,
// configure and start on the control thread, recvData on a receiving thread
// while the run flag is set, then stop and deleteDev.
#pragma once

#include "tools/host/DeviceSetup.h"
#include "tools/host/LiveBoard.h"

#include <atomic>
#include <cstdint>
#include <ostream>
#include <string>

class CBase;
class CLogH;
class OutputHub;
class HostStorages;
class PluginLibrary;

enum ExitStatus {
    exitOk = 0,
    exitUsage = 1,
    exitConfig = 2,
    exitPlugin = 3,
    exitInit = 4,
    exitConfigure = 5,
    exitReception = 6,
    exitSimulator = 7,
    exitHung = 8,
};

enum class OutputFormat { table, jsonl };

struct SessionOptions {
    double durationSeconds = 0;   // 0: until interrupted
    double silenceSeconds = 5;    // no data for this long ends the run with an error
    double refreshSeconds = 0.1;  // table refresh on a terminal
    OutputFormat format = OutputFormat::table;
    bool terminal = false;        // the table may redraw itself in place
    std::string deviceName = "is900";
    std::string portName = "com1";
    OutputHub* outputs = nullptr; // when set, JSON lines go through it, with the network outputs
};

class Session {
public:
    Session(const PluginLibrary& plugin, DevConfig* config, CLogH* log, HostStorages& storages,
            StationLayout layout, SessionOptions options, std::ostream& out);

    // Returns the process exit status; stopRequested ends streaming in order.
    int run(const std::atomic<bool>& stopRequested);

private:
    int bringUp(CBase& device);
    int stream(CBase& device, const std::atomic<bool>& stopRequested);
    int watch(const std::atomic<bool>& stopRequested);
    bool waitForReceiver();
    void receive(CBase& device);
    void publish(const unsigned char* masks);
    void showTable(bool redraw);
    void noteActivity();
    double secondsSinceActivity() const;
    bool running() const;
    void clearRunFlag();

    const PluginLibrary& plugin;
    DevConfig* config;
    CLogH* log;
    HostStorages& storages;
    StationLayout layout;
    SessionOptions options;
    std::ostream& out;

    int32_t runFlag = 0;
    LiveBoard board;
    std::atomic<bool> receiverDone{false};
    std::atomic<bool> endedByDevice{false};
    std::atomic<int64_t> lastActivity{0};
};
