#include "report/RunReading.h"

#include "is900/hostkit/DeviceSetup.h"
#include "sim/CaptureFile.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

namespace is900report {

using namespace is900::hostkit;

namespace {

const double inchesPerFoot = 12, centimetresPerFoot = 30.48;

int stationOf(char character) {
    if (character >= '1' && character <= '9') return character - '0';
    if (character >= 'A' && character <= 'C') return character - 'A' + 10;
    return 0;
}

std::size_t itemSize(int item) {
    switch (item) {
    case 1: return 2;
    case 2: case 4: return 12;
    case 22: return 1;
    case 23: return 2;
    default: return 0;
    }
}

float floatAt(const std::string& bytes, std::size_t at) {
    uint32_t bits = 0;
    for (int i = 3; i >= 0; --i) bits = bits << 8 | static_cast<uint8_t>(bytes[at + i]);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Control bytes shown as ^X, so that a reset reads as ^Y.
std::string printable(const std::string& command) {
    std::string text;
    for (unsigned char c : command)
        text += c < 32 ? std::string("^") + static_cast<char>(c + 64) : std::string(1, static_cast<char>(c));
    return text;
}

// The local time a capture's file name carries (NAME-YYYYMMDD-HHMMSS.is900cap).
double epochOfName(const std::string& path) {
    const std::string suffix = ".is900cap";
    const std::size_t length = 16 + suffix.size(); // -YYYYMMDD-HHMMSS
    if (path.size() < length || path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0) return 0;
    const std::string stamp = path.substr(path.size() - length, 16);
    if (stamp[0] != '-' || stamp[9] != '-' || stamp.find_first_not_of("0123456789", 1) != 9 ||
        stamp.find_first_not_of("0123456789", 10) != std::string::npos)
        return 0;
    const auto number = [&](std::size_t at, std::size_t digits) { return std::stoi(stamp.substr(at, digits)); };
    std::tm local{};
    local.tm_year = number(1, 4) - 1900, local.tm_mon = number(5, 2) - 1, local.tm_mday = number(7, 2);
    local.tm_hour = number(10, 2), local.tm_min = number(12, 2), local.tm_sec = number(14, 2);
    local.tm_isdst = -1;
    const std::time_t time = std::mktime(&local);
    return time == static_cast<std::time_t>(-1) ? 0 : static_cast<double>(time);
}

void addSilences(Run& run, const std::vector<double>& times, double silenceSeconds) {
    for (std::size_t i = 1; i < times.size(); ++i)
        if (times[i] - times[i - 1] >= silenceSeconds) run.silences.push_back({times[i - 1], times[i] - times[i - 1]});
    if (!times.empty() && run.end - times.back() >= silenceSeconds)
        run.silences.push_back({times.back(), run.end - times.back()});
}

Run readCaptureRun(const std::string& path, double silenceSeconds) {
    is900sim::Capture capture;
    try {
        capture = is900sim::readCapture(path);
    } catch (const is900sim::CaptureError& error) {
        throw RunError(error.what());
    }
    if (capture.lastChunkCutShort)
        throw RunError(path + ": byte offset " + std::to_string(capture.cutShortOffset) + ": truncated chunk");
    Run run;
    run.file = path;
    run.capture = true;
    run.startEpoch = epochOfName(path);
    for (std::size_t i = 0; i < capture.optionLines.size(); ++i) {
        const std::vector<std::string>& words = capture.optionLines[i];
        run.options.push_back({static_cast<uint32_t>(i + 1), words[0], {words.begin() + 1, words.end()}});
    }
    RecordDecoder decoder;
    decoder.centimetres = readDeviceSetup(run.options).centimetres;
    bool settingUp = false;
    double setUpStart = 0;
    std::vector<std::string> writes;
    for (const is900sim::CaptureChunk& chunk : capture.chunks) {
        const double time = chunk.micros / 1e6;
        const std::string bytes(chunk.bytes.begin(), chunk.bytes.end());
        run.end = time;
        if (chunk.kind == 'R') {
            run.trackerBytes.push_back(time);
            decoder.bytes(bytes, time, run.records);
        } else if (chunk.kind == 'W') {
            decoder.commands(bytes);
            const bool starts = !bytes.empty() && bytes.back() == 'C'; // a set-up ends by starting the stream
            if (!starts && !bytes.empty() && bytes[0] == 'c') { // a stop does not belong to a set-up
                settingUp = false;
                continue;
            }
            if (!settingUp) settingUp = true, setUpStart = time, writes.clear();
            for (std::size_t at = 0, end; at < bytes.size(); at = end + 1) {
                end = std::min(bytes.find('\r', at), bytes.size());
                writes.push_back(printable(bytes.substr(at, end - at)));
            }
            if (starts) {
                run.setUps.push_back(setUpStart);
                if (run.setUpCommands.empty()) run.setUpCommands = writes;
                settingUp = false;
            }
        }
    }
    addSilences(run, run.trackerBytes, silenceSeconds);
    return run;
}

Run readRecordRun(const std::string& path, double silenceSeconds) {
    RecordFile file;
    try {
        file = readRecordFile(path);
    } catch (const SchemaError& error) {
        throw RunError(error.what());
    }
    Run run;
    run.file = path;
    run.options = file.header.options;
    for (const JsonLine& line : file.lines) {
        const double time = line.type == LineType::record ? line.record.stamp : line.status.time;
        if (time > 0 && (run.startEpoch == 0 || time < run.startEpoch)) run.startEpoch = time;
    }
    std::vector<double> times;
    for (const JsonLine& line : file.lines) {
        if (line.type == LineType::record) {
            const double time = std::max(0.0, line.record.stamp - run.startEpoch);
            run.records.push_back({time, line.record});
            times.push_back(time);
        } else if (line.type == LineType::status && line.status.time > 0) {
            run.states.push_back({line.status.time - run.startEpoch, line.status.state});
        }
        if (!run.records.empty()) run.end = std::max(run.end, run.records.back().time);
    }
    std::sort(run.records.begin(), run.records.end(),
              [](const TimedRecord& a, const TimedRecord& b) { return a.time < b.time; });
    std::sort(times.begin(), times.end());
    addSilences(run, times, silenceSeconds);
    return run;
}

} // namespace

void RecordDecoder::commands(const std::string& written) {
    std::size_t start = 0;
    for (std::size_t end; start < written.size(); start = end + 1) {
        end = written.find('\r', start);
        if (end == std::string::npos) end = written.size();
        const std::string command = written.substr(start, end - start);
        if (command.size() < 3 || command[0] != 'O' || command[2] != ',' || stationOf(command[1]) == 0) continue;
        std::vector<int> items;
        for (std::size_t at = 3; at < command.size();) {
            const std::size_t comma = std::min(command.find(',', at), command.size());
            items.push_back(std::atoi(command.substr(at, comma - at).c_str()));
            at = comma + 1;
        }
        outputLists[stationOf(command[1])] = items;
    }
}

void RecordDecoder::bytes(const std::string& read, double time, std::vector<TimedRecord>& records) {
    pending += read;
    std::size_t at = 0;
    while (at + 3 <= pending.size()) {
        const int station = stationOf(pending[at + 1]);
        if (pending[at] != '0' || station == 0 || pending[at + 2] != ' ') {
            ++at;
            continue;
        }
        const std::vector<int>& items = outputLists[station];
        std::size_t size = 3;
        for (int item : items) size += itemSize(item);
        if (pending.size() - at < size) break;
        if (items.empty() || items.back() != 1 || pending.compare(at + size - 2, 2, "\r\n") != 0) {
            ++at; // not a binary record of this list: find the next record's start
            continue;
        }
        TimedRecord timed;
        timed.time = time;
        RecordView& record = timed.record;
        record.station = station;
        record.kind = RecordKind::controller;
        const double perFoot = centimetres ? centimetresPerFoot : inchesPerFoot;
        std::size_t field = at + 3;
        for (int item : items) {
            if (item == 2 || item == 4) {
                record.kind = RecordKind::tracker;
                for (int i = 0; i < 3; ++i) {
                    const float value = floatAt(pending, field + 4 * i);
                    record.pose[item == 2 ? i : 3 + i] = item == 2 ? static_cast<float>(value / perFoot) : value;
                }
            } else if (item == 22) {
                for (int bit = 0; bit < 6; ++bit) record.buttons.push_back((pending[field] >> bit & 1) != 0);
            } else if (item == 23) {
                for (int i = 0; i < 2; ++i)
                    record.valuators.push_back((static_cast<uint8_t>(pending[field + i]) - 127.5f) / 127.5f);
            }
            field += itemSize(item);
        }
        record.stamp = time;
        records.push_back(timed);
        at += size;
    }
    pending.erase(0, at);
}

Run readRun(const std::string& path, double silenceSeconds) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw RunError(path + ": cannot be read");
    char head[14] = {};
    file.read(head, 13);
    if (std::string(head) == "is900-capture") return readCaptureRun(path, silenceSeconds);
    return readRecordRun(path, silenceSeconds);
}

} // namespace is900report
