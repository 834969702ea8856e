#include "host/config/StationLayout.h"

#include <cstdlib>

namespace {

const int stationCount = 8;

bool anyKeyword(const std::string& keyword, std::initializer_list<const char*> names) {
    for (const char* name : names)
        if (sameKeyword(keyword, name)) return true;
    return false;
}

std::vector<int> stationsSwitchedOn(const std::vector<std::string>& flags) {
    std::vector<int> stations;
    for (std::size_t k = 0; k < flags.size() && k < stationCount; ++k)
        if (std::strtol(flags[k].c_str(), nullptr, 0) == 1) stations.push_back(static_cast<int>(k) + 1);
    return stations;
}

int stationOf(const std::vector<int>& stations, uint32_t id) {
    return id >= 1 && id <= stations.size() ? stations[id - 1] : 0;
}

} // namespace

int StationLayout::trackerStation(uint32_t id) const { return stationOf(trackerStations, id); }
int StationLayout::controllerStation(uint32_t id) const { return stationOf(controllerStations, id); }

StationLayout stationLayoutFromOptions(const std::vector<OptionLine>& options) {
    StationLayout layout;
    for (const OptionLine& option : options) {
        if (anyKeyword(option.keyword, {"sensors", "sensor", "trackers", "tracker"}))
            layout.trackerStations = stationsSwitchedOn(option.args);
        else if (anyKeyword(option.keyword, {"wands", "wand", "controllers", "controller"}))
            layout.controllerStations = stationsSwitchedOn(option.args);
        else if (sameKeyword(option.keyword, "devdataunit") && option.args.size() == 1)
            layout.centimetres = anyKeyword(option.args[0], {"cm", "centimeter", "centimeters"});
    }
    return layout;
}

std::string portNameFromOptions(const std::vector<OptionLine>& options) {
    std::string port = "com1";
    for (const OptionLine& option : options)
        if (anyKeyword(option.keyword, {"port", "serialport"}) && option.args.size() == 1) port = option.args[0];
    return port;
}

int ownSilenceLimit(const std::vector<OptionLine>& options) {
    int limit = 0;
    for (const OptionLine& option : options) {
        if (!sameKeyword(option.keyword, "reconnect") || option.args.empty()) continue;
        const bool on = anyKeyword(option.args[0], {"yes", "on"});
        limit = on ? (option.args.size() > 1 ? static_cast<int>(std::strtol(option.args[1].c_str(), nullptr, 0)) : 3) : 0;
    }
    return limit;
}

bool caveCoordinatesFromOptions(const std::vector<OptionLine>& options) {
    bool cave = true;
    for (const OptionLine& option : options)
        if ((sameKeyword(option.keyword, "cavecoord") || sameKeyword(option.keyword, "cavecoordinates")) &&
            option.args.size() == 1)
            cave = sameKeyword(option.args[0], "yes") || sameKeyword(option.args[0], "on");
    return cave;
}
