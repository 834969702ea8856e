#include "is900/hostkit/RecordSchema.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <optional>

namespace is900 {
namespace hostkit {

namespace {

using Json = nlohmann::json;

void appendNumber(std::string& line, const char* pattern, double value) {
    char text[64];
    const int length = std::snprintf(text, sizeof text, pattern, value);
    if (length > 0) line.append(text, std::min(static_cast<std::size_t>(length), sizeof text - 1));
}

const char* const poseNames[6] = {"x", "y", "z", "azim", "elev", "roll"};

const char* stationKind(const RecordingStation& station) {
    return station.tracker && station.controller ? "both" : station.tracker ? "tracker" : "controller";
}

// The field's value; throws SchemaError naming a missing field.
const Json& field(const Json& object, const char* name) {
    const auto found = object.find(name);
    if (found == object.end()) throw SchemaError(std::string("no \"") + name + "\" field");
    return *found;
}

RecordView readRecord(const Json& object, RecordKind kind) {
    RecordView record;
    record.kind = kind;
    record.id = field(object, "id").get<uint32_t>();
    record.station = field(object, "station").get<int>();
    record.stamp = field(object, "time").get<double>();
    if (kind == RecordKind::tracker) {
        for (int i = 0; i < 6; ++i) record.pose[i] = field(object, poseNames[i]).get<float>();
    } else {
        for (const Json& button : field(object, "buttons")) record.buttons.push_back(button.get<int>() != 0);
        for (const Json& valuator : field(object, "valuators")) record.valuators.push_back(valuator.get<float>());
    }
    if (object.contains("device")) record.device = object["device"].get<std::string>();
    return record;
}

StatusLine readStatus(const Json& object) {
    StatusLine status;
    status.device = field(object, "device").get<std::string>();
    status.state = field(object, "state").get<std::string>();
    status.attempt = field(object, "attempt").get<int>();
    status.retryInSeconds = field(object, "retry_in").get<int>();
    status.time = field(object, "time").get<double>();
    const Json& last = field(object, "last_record");
    status.lastRecord = last.is_null() ? 0 : last.get<double>();
    return status;
}

RecordingHeader readHeader(const Json& object) {
    RecordingHeader header;
    header.version = field(object, "version").get<int>();
    if (header.version != recordFormatVersion)
        throw SchemaError("the recording has format version " + std::to_string(header.version) +
                          "; this program reads version " + std::to_string(recordFormatVersion));
    const std::string units = field(object, "units").get<std::string>();
    if (units != "inches" && units != "cm") throw SchemaError("unknown units \"" + units + "\"");
    header.centimetres = units == "cm";
    header.cave = field(object, "cave").get<bool>();
    for (const Json& entry : field(object, "stations")) {
        RecordingStation station;
        station.station = field(entry, "station").get<int>();
        const std::string kind = field(entry, "kind").get<std::string>();
        station.tracker = kind == "tracker" || kind == "both";
        station.controller = kind == "controller" || kind == "both";
        if (!station.tracker && !station.controller) throw SchemaError("unknown station kind \"" + kind + "\"");
        header.stations.push_back(station);
    }
    for (const Json& words : field(object, "options")) {
        if (!words.is_array() || words.empty()) throw SchemaError("an option line that is no list of words");
        OptionLine line{static_cast<uint32_t>(header.options.size() + 1), words[0].get<std::string>(), {}};
        for (std::size_t i = 1; i < words.size(); ++i) line.args.push_back(words[i].get<std::string>());
        header.options.push_back(line);
    }
    return header;
}

std::optional<double> figure(const Json& object, const char* name) {
    const Json& value = field(object, name);
    return value.is_null() ? std::nullopt : std::optional<double>(value.get<double>());
}

DeviceQuality readQuality(const Json& object) {
    DeviceQuality quality;
    quality.device = field(object, "device").get<std::string>();
    quality.time = field(object, "time").get<double>();
    for (const Json& entry : field(object, "stations")) {
        StationQuality station;
        station.station = field(entry, "station").get<int>();
        station.records = field(entry, "records").get<uint64_t>();
        station.rate = figure(entry, "rate");
        station.period = figure(entry, "period");
        station.gapCount = field(entry, "gaps").get<uint64_t>();
        station.longestGap = field(entry, "longestGap").get<double>();
        station.ongoingGap = figure(entry, "ongoingGap");
        const Json& moving = field(entry, "moving");
        if (!moving.is_null()) station.moving = moving.get<bool>();
        station.positionNoiseMm = figure(entry, "positionNoiseMm");
        station.orientationNoiseDeg = figure(entry, "orientationNoiseDeg");
        for (const Json& gap : field(entry, "recentGaps"))
            station.gaps.push_back({field(gap, "start").get<double>(), field(gap, "length").get<double>(),
                                    field(gap, "ongoing").get<bool>()});
        quality.stations.push_back(station);
    }
    return quality;
}

// The figure, or null when it is not available.
void appendFigure(std::string& line, const char* name, const char* pattern, const std::optional<double>& value) {
    line += ",\"";
    line += name;
    line += "\":";
    if (value)
        appendNumber(line, pattern, *value);
    else
        line += "null";
}

bool isRecordingHeader(const std::string& line) {
    const Json object = Json::parse(line, nullptr, false);
    return object.is_object() && object.contains("type") && object["type"] == "recording";
}

} // namespace

// Appended to one string rather than written to a stream: a stream's
// set-up costs about as much as the line, and every output writes one for
// every record.
std::string jsonLine(const RecordView& record) { return jsonLine(record, {}); }

std::string jsonLine(const RecordView& record, const std::vector<JsonField>& extraFields) {
    std::string line;
    line.reserve(192);
    line += record.kind == RecordKind::tracker ? "{\"type\":\"tracker\",\"id\":" : "{\"type\":\"controller\",\"id\":";
    line += std::to_string(record.id);
    line += ",\"station\":";
    line += std::to_string(record.station);
    appendNumber(line, ",\"time\":%.3f", record.stamp);
    if (record.kind == RecordKind::tracker) {
        for (int i = 0; i < 6; ++i) {
            line += ",\"";
            line += poseNames[i];
            appendNumber(line, "\":%.5f", record.pose[i]);
        }
    } else {
        line += ",\"buttons\":[";
        for (std::size_t n = 0; n < record.buttons.size(); ++n) {
            if (n) line += ',';
            line += record.buttons[n] ? '1' : '0';
        }
        line += "],\"valuators\":[";
        for (std::size_t i = 0; i < record.valuators.size(); ++i)
            appendNumber(line, i ? ",%.3f" : "%.3f", record.valuators[i]);
        line += ']';
    }
    if (!record.device.empty()) line += ",\"device\":" + jsonString(record.device);
    for (const JsonField& field : extraFields) line += ',' + jsonString(field.key) + ':' + field.value;
    line += '}';
    return line;
}

std::string statusJsonLine(const StatusLine& status) {
    char tail[128];
    char last[32] = "null";
    if (status.lastRecord > 0) std::snprintf(last, sizeof last, "%.3f", status.lastRecord);
    std::snprintf(tail, sizeof tail, ",\"attempt\":%d,\"retry_in\":%d,\"time\":%.3f,\"last_record\":%s}",
                  status.attempt, status.retryInSeconds, status.time, last);
    return "{\"type\":\"status\",\"device\":" + jsonString(status.device) + ",\"state\":" + jsonString(status.state) +
           tail;
}

std::string recordingHeaderLine(const RecordingHeader& header) {
    std::string stations;
    for (const RecordingStation& station : header.stations)
        stations += std::string(stations.empty() ? "" : ",") + "{\"station\":" + std::to_string(station.station) +
                    ",\"kind\":\"" + stationKind(station) + "\"}";
    std::string options;
    for (const OptionLine& line : header.options) {
        options += std::string(options.empty() ? "" : ",") + "[" + jsonString(line.keyword);
        for (const std::string& arg : line.args) options += "," + jsonString(arg);
        options += "]";
    }
    return "{\"type\":\"recording\",\"version\":" + std::to_string(header.version) + ",\"units\":\"" +
           (header.centimetres ? "cm" : "inches") + "\",\"cave\":" + (header.cave ? "true" : "false") +
           ",\"stations\":[" + stations + "],\"options\":[" + options + "]}";
}

std::string qualityJsonLine(const DeviceQuality& quality) {
    std::string line = "{\"type\":\"quality\",\"device\":" + jsonString(quality.device);
    appendNumber(line, ",\"time\":%.3f,\"stations\":[", quality.time);
    for (std::size_t n = 0; n < quality.stations.size(); ++n) {
        const StationQuality& station = quality.stations[n];
        line += n ? ",{\"station\":" : "{\"station\":";
        line += std::to_string(station.station) + ",\"records\":" + std::to_string(station.records);
        appendFigure(line, "rate", "%.2f", station.rate);
        appendFigure(line, "period", "%.5f", station.period);
        line += ",\"gaps\":" + std::to_string(station.gapCount);
        appendFigure(line, "longestGap", "%.3f", station.longestGap);
        appendFigure(line, "ongoingGap", "%.3f", station.ongoingGap);
        line += ",\"moving\":";
        line += !station.moving ? "null" : *station.moving ? "true" : "false";
        appendFigure(line, "positionNoiseMm", "%.3f", station.positionNoiseMm);
        appendFigure(line, "orientationNoiseDeg", "%.4f", station.orientationNoiseDeg);
        line += ",\"recentGaps\":[";
        const std::size_t first = station.gaps.size() > recentGapsInLine ? station.gaps.size() - recentGapsInLine : 0;
        for (std::size_t g = first; g < station.gaps.size(); ++g) {
            appendNumber(line, g > first ? ",{\"start\":%.3f" : "{\"start\":%.3f", station.gaps[g].start);
            appendNumber(line, ",\"length\":%.3f", station.gaps[g].length);
            line += station.gaps[g].ongoing ? ",\"ongoing\":true}" : ",\"ongoing\":false}";
        }
        line += "]}";
    }
    return line + "]}";
}

std::string jsonString(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

RecordingHeader recordingHeaderOf(const std::vector<OptionLine>& options) {
    const DeviceSetup setup = readDeviceSetup(options);
    RecordingHeader header;
    header.options = options;
    header.centimetres = setup.centimetres;
    header.cave = setup.cave;
    for (int s = 0; s < deviceStationCount; ++s)
        if (setup.trackerOn[s] || setup.controllerOn[s])
            header.stations.push_back(RecordingStation{s + 1, setup.trackerOn[s], setup.controllerOn[s]});
    return header;
}

JsonLine readJsonLine(const std::string& line) {
    try {
        const Json object = Json::parse(line);
        if (!object.is_object()) throw SchemaError("not a JSON object");
        const std::string type = field(object, "type").get<std::string>();
        JsonLine read;
        if (type == "tracker" || type == "controller") {
            read.record = readRecord(object, type == "tracker" ? RecordKind::tracker : RecordKind::controller);
        } else if (type == "status") {
            read.type = LineType::status;
            read.status = readStatus(object);
        } else if (type == "recording") {
            read.type = LineType::recording;
            read.recording = readHeader(object);
        } else if (type == "quality") {
            read.type = LineType::quality;
            read.quality = readQuality(object);
        } else {
            throw SchemaError("unknown type \"" + type + "\"");
        }
        return read;
    } catch (const Json::exception& error) {
        throw SchemaError(error.what());
    }
}

RecordFile readRecordFile(const std::string& path) {
    std::ifstream file(path);
    if (!file) throw SchemaError("cannot read the record file '" + path + "'");
    RecordFile recording;
    std::string text;
    if (!std::getline(file, text) || !isRecordingHeader(text))
        throw SchemaError(path + ": the first line is no recording header");
    uint32_t number = 1;
    try {
        recording.header = readJsonLine(text).recording;
        for (number = 2; std::getline(file, text); ++number) {
            recording.lines.push_back(readJsonLine(text));
            if (recording.lines.back().type == LineType::recording) throw SchemaError("a second recording header");
        }
    } catch (const SchemaError& error) {
        throw SchemaError(path + ":" + std::to_string(number) + ": " + error.what());
    }
    return recording;
}

} // namespace hostkit
} // namespace is900
