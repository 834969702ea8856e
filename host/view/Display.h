// Where published records and state changes go: the table or the JSON lines
// on the host's standard output, the output hub and the further hooks.
#pragma once

#include "host/supervision/DeviceStatus.h"
#include "host/view/LiveBoard.h"

#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

class OutputHub;

enum class OutputFormat { table, jsonl };

// Further outputs of the host (the web view): called with every published
// record, on the receiving thread that published it, and with every change
// of a device's state.
struct OutputHooks {
    std::function<void(const RecordView&)> record;
    std::function<void(const DeviceStatus&)> status;
};

// One line per device under the table: state, attempt, back-off and the age
// of the last record at now (seconds since 1970).
std::string formatStatuses(const std::vector<DeviceStatus>& statuses, double now);

// Where published records and state changes go; used from every thread.
class Display {
public:
    Display(OutputFormat format, std::ostream& out, OutputHooks hooks = OutputHooks(),
            OutputHub* outputs = nullptr);

    void record(const RecordView& view);
    void status(const DeviceStatus& status);
    void table(bool redraw, const std::vector<DeviceStatus>& statuses);
    bool showsTable() const { return format == OutputFormat::table; }
    // Called once, under the display's lock, when a write to out fails.
    void onReaderGone(std::function<void()> handler) { readerGone = std::move(handler); }

private:
    void written(const std::ostream& stream);

    OutputFormat format;
    std::ostream& out;
    std::mutex mutex;
    LiveBoard board;
    OutputHooks hooks;
    OutputHub* outputs;
    std::function<void()> readerGone;
    bool readerLeft = false;
};
