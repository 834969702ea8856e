#include "host/outputs/JsonLinesOutput.h"

#include "host/config/StationLayout.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

// One write per line: where the plug-in's log shares the stream (Windows),
// its lines can come between two lines but never inside one.
bool writeAndFlush(std::FILE* file, const std::string& line) {
    const std::string ended = line + '\n';
    return std::fwrite(ended.data(), 1, ended.size(), file) == ended.size() && std::fflush(file) == 0;
}

const char* stationKind(bool tracker, bool controller) {
    return tracker && controller ? "both" : tracker ? "tracker" : "controller";
}

bool holds(const std::vector<int>& stations, int station) {
    for (int each : stations)
        if (each == station) return true;
    return false;
}

} // namespace

bool JsonLinesOutput::send(const PublishedRecord& record) { return writeLine(jsonLine(record.view)); }

void JsonLinesOutput::sendStatus(const DeviceStatus& status) { writeLine(statusJsonLine(status)); }

bool JsonLinesOutput::writeLine(const std::string& line) {
    if (!failed && !writeAndFlush(file, line)) failed = true;
    return !failed;
}

std::string recordingHeader(const std::vector<OptionLine>& options) {
    const StationLayout layout = stationLayoutFromOptions(options);
    std::string stations;
    for (int station = 1; station <= 8; ++station) {
        const bool tracker = holds(layout.trackerStations, station);
        const bool controller = holds(layout.controllerStations, station);
        if (!tracker && !controller) continue;
        stations += std::string(stations.empty() ? "" : ",") + "{\"station\":" + std::to_string(station) +
                    ",\"kind\":\"" + stationKind(tracker, controller) + "\"}";
    }
    return std::string("{\"type\":\"recording\",\"version\":1,\"units\":\"") +
           (layout.centimetres ? "cm" : "inches") + "\",\"cave\":" + (caveCoordinatesFromOptions(options) ? "true" : "false") +
           ",\"stations\":[" + stations + "]}";
}

RecordFileOutput::RecordFileOutput(const std::string& path, const std::string& device,
                                   const std::vector<OptionLine>& options)
    : path(path), device(device), file(std::fopen(path.c_str(), "w")) {
    if (file && writeAndFlush(file, recordingHeader(options))) return;
    const std::string reason = std::strerror(errno);
    if (file) std::fclose(file);
    throw std::runtime_error("cannot write the record file '" + path + "': " + reason);
}

RecordFileOutput::~RecordFileOutput() {
    if (file) std::fclose(file);
}

bool RecordFileOutput::send(const PublishedRecord& record) {
    return record.device != device || writeLine(jsonLine(record.view));
}

void RecordFileOutput::sendStatus(const DeviceStatus& status) {
    if (status.device == device) writeLine(statusJsonLine(status));
}

// Each line is flushed so that a recording cut short by a crash keeps
// every record written before it.
bool RecordFileOutput::writeLine(const std::string& line) { return writeAndFlush(file, line); }
