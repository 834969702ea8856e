#include "host/supervision/Display.h"

#include "host/outputs/OutputHub.h"
#include "host/outputs/TableOutput.h"

#include <algorithm>
#include <cstdio>

std::string formatStatuses(const std::vector<DeviceStatus>& statuses, double now) {
    std::string lines;
    for (const DeviceStatus& status : statuses) {
        char line[200];
        std::snprintf(line, sizeof line, "device %-10s %-12s attempt %d", status.device.c_str(),
                      stateName(status.state), status.attempt);
        lines += line;
        if (status.state == DeviceState::reconnecting)
            lines += ", next in " + std::to_string(status.retryInSeconds) + " s";
        if (status.lastRecord > 0) {
            std::snprintf(line, sizeof line, ", last record %.1f s ago", std::max(0.0, now - status.lastRecord));
            lines += line;
        } else {
            lines += ", no record yet";
        }
        lines += '\n';
    }
    return lines;
}

Display::Display(OutputFormat format, std::ostream& out, SupervisorClock& clock, OutputHub* outputs,
                 const TableOutput* tableOutput)
    : format(format), out(out), clock(clock), outputs(outputs), tableOutput(tableOutput) {}

// The outputs, the table's among them, have a lock of their own.
void Display::records(std::vector<RecordView>&& views) {
    if (views.empty()) return;
    if (outputs) {
        const std::string device = views.front().device; // the views are moved from
        outputs->publish(device, std::move(views));
    } else if (format == OutputFormat::jsonl) {
        std::lock_guard<std::mutex> guard(mutex);
        for (const RecordView& view : views) written(out << jsonLine(view) << std::endl);
    }
}

void Display::status(const DeviceStatus& state) {
    DeviceStatus status = state;
    status.time = clock.secondsSince1970();
    if (outputs) {
        outputs->publishStatus(status); // never waits; no lock of the display's is held
        return;
    }
    std::lock_guard<std::mutex> guard(mutex);
    if (format == OutputFormat::jsonl) written(out << statusJsonLine(status) << std::endl);
}

void Display::table(bool redraw, const std::vector<DeviceStatus>& statuses) {
    std::lock_guard<std::mutex> guard(mutex);
    if (redraw) out << "\033[H\033[J";
    if (tableOutput) out << tableOutput->rows();
    out << formatStatuses(statuses, clock.secondsSince1970());
    if (!redraw) out << '\n';
    written(out.flush());
}

// A write that fails means the reader left (SIGPIPE is ignored): said once.
void Display::written(const std::ostream& stream) {
    if (stream || readerLeft) return;
    readerLeft = true;
    if (readerGone) readerGone();
}
