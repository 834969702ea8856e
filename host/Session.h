// The host's run: every configured device supervised on the control thread,
// each receiving on a thread of its own, and what they publish shown as a
// table or as JSON lines.
#pragma once

#include "host/DeviceSetup.h"
#include "host/DeviceStatus.h"
#include "host/LiveBoard.h"
#include "host/LoggerRecord.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

class OutputHub;
class HostStorages;
class PluginLibrary;
class DeviceRun;

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

// Further outputs of the host (the web view): called with every published
// record, on the receiving thread that published it, and with every change
// of a device's state.
struct OutputHooks {
    std::function<void(const RecordView&)> record;
    std::function<void(const DeviceStatus&)> status;
};

struct SessionOptions {
    double durationSeconds = 0;   // 0: until interrupted
    double silenceSeconds = 10;   // a device that publishes nothing for this long is brought up anew
    double refreshSeconds = 0.1;  // table refresh on a terminal
    OutputFormat format = OutputFormat::table;
    bool terminal = false;        // the table may redraw itself in place
    bool once = false;            // the first failure ends the run with its status
    OutputHooks hooks;
    OutputHub* outputs = nullptr; // when set, records and states go through it (JSON lines, record file, network)
};

// One device as the configuration describes it.
struct DeviceDefinition {
    std::string name;
    std::string portName;
    const PluginLibrary* plugin = nullptr;
    std::vector<OptionLine> options;
    LoggerSettings logger;
    StationLayout layout;
};

// One line per device under the table.
std::string formatStatuses(const std::vector<DeviceStatus>& statuses);

// Where published records and state changes go; used from every thread.
class Display {
public:
    Display(OutputFormat format, std::ostream& out, OutputHooks hooks = OutputHooks(),
            OutputHub* outputs = nullptr);

    void record(const RecordView& view);
    void status(const DeviceStatus& status);
    void table(bool redraw, const std::vector<DeviceStatus>& statuses);
    bool showsTable() const { return format == OutputFormat::table; }

private:
    OutputFormat format;
    std::ostream& out;
    std::mutex mutex;
    LiveBoard board;
    OutputHooks hooks;
    OutputHub* outputs;
};

class Session {
public:
    Session(HostStorages& storages, SessionOptions options, std::ostream& out);
    ~Session();

    // Devices reserve their record IDs in the order they are added.
    void addDevice(const DeviceDefinition& definition);
    // Returns the process exit status; stopRequested ends streaming in order.
    int run(const std::atomic<bool>& stopRequested);

private:
    std::vector<DeviceStatus> statuses() const;
    int endStatus() const;
    bool allFailed() const;

    HostStorages& storages;
    SessionOptions options;
    Display display;
    std::vector<std::unique_ptr<DeviceRun>> devices;
    uint32_t trackerIdsTaken = 0;
    uint32_t controllerIdsTaken = 0;
};
