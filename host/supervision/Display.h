// Where published records and state changes go: the table or the JSON lines
// on the host's standard output or the output hub.
#pragma once

#include "host/supervision/DeviceStatus.h"
#include "host/supervision/SupervisorClock.h"
#include "host/view/RecordView.h"

#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

class OutputHub;
class TableOutput;

enum class OutputFormat { table, jsonl };

// One line per device under the table: state, attempt, back-off and the age
// of the last record at now (seconds since 1970).
std::string formatStatuses(const std::vector<DeviceStatus>& statuses, double now);

// Where published records and state changes go; used from every thread.
class Display {
public:
    Display(OutputFormat format, std::ostream& out, SupervisorClock& clock, OutputHub* outputs = nullptr,
            const TableOutput* tableOutput = nullptr);

    // The records one read of a device brought, all from that device; the
    // views are moved on to the outputs.
    void records(std::vector<RecordView>&& views);
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
    SupervisorClock& clock;
    OutputHub* outputs;
    const TableOutput* tableOutput;
    std::function<void()> readerGone;
    bool readerLeft = false;
};
