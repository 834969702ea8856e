#include "host/view/Display.h"

#include "host/outputs/OutputHub.h"

#include <cstdio>

namespace {

using Clock = LiveBoard::Clock;

} // namespace

std::string formatStatuses(const std::vector<DeviceStatus>& statuses) {
    std::string lines;
    for (const DeviceStatus& status : statuses) {
        char line[160];
        std::snprintf(line, sizeof line, "device %-10s %-12s attempt %d", status.device.c_str(),
                      stateName(status.state), status.attempt);
        lines += line;
        if (status.state == DeviceState::reconnecting)
            lines += ", next in " + std::to_string(status.retryInSeconds) + " s";
        lines += '\n';
    }
    return lines;
}

Display::Display(OutputFormat format, std::ostream& out, OutputHooks hooks, OutputHub* outputs)
    : format(format), out(out), hooks(std::move(hooks)), outputs(outputs) {}

void Display::record(const RecordView& view) {
    std::lock_guard<std::mutex> guard(mutex);
    board.update(view, Clock::now());
    if (outputs) outputs->publish(view.device, view);
    else if (format == OutputFormat::jsonl) out << jsonLine(view) << std::endl;
    if (hooks.record) hooks.record(view);
}

void Display::status(const DeviceStatus& state) {
    DeviceStatus status = state;
    status.time = secondsSince1970();
    std::lock_guard<std::mutex> guard(mutex);
    if (outputs) outputs->publishStatus(status);
    else if (format == OutputFormat::jsonl) out << statusJsonLine(status) << std::endl;
    if (hooks.status) hooks.status(status);
}

void Display::table(bool redraw, const std::vector<DeviceStatus>& statuses) {
    std::lock_guard<std::mutex> guard(mutex);
    if (redraw) out << "\033[H\033[J";
    out << formatTable(board.snapshot(Clock::now())) << formatStatuses(statuses);
    if (!redraw) out << '\n';
    out.flush();
}
