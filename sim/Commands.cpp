#include "sim/Commands.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace is900sim {

namespace {

const std::size_t longestCommand = 200;

bool lineCommand(uint8_t byte) { return byte == 'R' || byte == 'A' || byte == 'O'; }

bool singleCommand(uint8_t byte) {
    return byte == 0x19 || byte == 'f' || byte == 'F' || byte == 'C' || byte == 'c' || byte == 'P';
}

std::string unknownByteText(uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "?%02x", byte);
    return text;
}

// Splits "1,2,4" style arguments into numbers; false on anything else.
bool numbersOf(const std::string& text, std::vector<double>& numbers) {
    std::stringstream stream(text);
    std::string field;
    while (std::getline(stream, field, ',')) {
        char* end = nullptr;
        double value = std::strtod(field.c_str(), &end);
        if (field.empty() || *end != '\0') return false;
        numbers.push_back(value);
    }
    return true;
}

bool configuredStation(const TrackerSettings& settings, int station) {
    return settings.outputLists.count(station) > 0;
}

bool applyOutputList(int station, const std::vector<double>& numbers, TrackerSettings& settings) {
    std::vector<int> items;
    for (double number : numbers) {
        // Whole numbers of item size only: a cast of a larger value is undefined.
        if (!(number >= 0 && number <= 255) || number != static_cast<int>(number)) return false;
        if (!knownItem(static_cast<int>(number))) return false;
        items.push_back(static_cast<int>(number));
    }
    if (items.empty()) return false;
    settings.outputLists[station] = items;
    return true;
}

bool applyAlignment(int station, const std::vector<double>& numbers, TrackerSettings& settings) {
    return numbers.size() == 9 && alignOnTop(settings.frames[station], numbers.data());
}

// "R<station>", "A<station>,<nine numbers>", "O<station>,<items>".
bool applyStationCommand(const std::string& command, TrackerSettings& settings) {
    int station = command.size() > 1 ? stationOfCharacter(command[1]) : 0;
    if (station == 0 || !configuredStation(settings, station)) return false;
    if (command[0] == 'R') {
        settings.frames[station] = AlignmentFrame();
        return command.size() == 2;
    }
    std::vector<double> numbers;
    if (command.size() < 4 || command[2] != ',' || !numbersOf(command.substr(3), numbers)) return false;
    return command[0] == 'A' ? applyAlignment(station, numbers, settings) : applyOutputList(station, numbers, settings);
}

} // namespace

void TrackerSettings::powerUp(const std::vector<StationSetup>& stations, bool streaming) {
    binary = continuous = streaming;
    outputLists.clear();
    frames.clear();
    for (const StationSetup& station : stations) {
        outputLists[station.number] = defaultOutputList(station.kind);
        frames[station.number] = AlignmentFrame();
    }
}

bool CommandSplitter::feed(uint8_t byte, std::string& command) {
    if (!pending.empty()) {
        if (byte == '\r') {
            command.swap(pending);
            pending.clear();
            return true;
        }
        if (pending.size() < longestCommand) pending += static_cast<char>(byte);
        return false;
    }
    if (lineCommand(byte)) {
        pending = static_cast<char>(byte);
        return false;
    }
    if (byte == '\r' || byte == '\n') return false;
    command = byte == 0x19 ? std::string(resetCommandText)
              : singleCommand(byte) ? std::string(1, static_cast<char>(byte))
                                    : unknownByteText(byte);
    return true;
}

bool applyCommand(const std::string& command, TrackerSettings& settings) {
    if (command == "f" || command == "F") {
        settings.binary = command == "f";
        return true;
    }
    if (command == "C" || command == "c") {
        settings.continuous = command == "C";
        return true;
    }
    if (command.empty() || (command[0] != 'R' && command[0] != 'A' && command[0] != 'O')) return false;
    return applyStationCommand(command, settings);
}

} // namespace is900sim
