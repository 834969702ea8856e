#include "host/config/ProcessingKeys.h"

#include "host/config/ConfigFile.h"
#include "is900/hostkit/DeviceSetup.h"
#include "rules/OptionWords.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

using is900::hostkit::OneEuroSettings;

bool number(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && std::isfinite(value);
}

// The station numbers from `first` on; {0} (every station) when there are none.
bool stations(const std::vector<std::string>& args, std::size_t first, std::vector<int>& numbers) {
    numbers.clear();
    for (std::size_t k = first; k < args.size(); ++k) {
        double value;
        if (!number(args[k], value) || value != static_cast<int>(value) || value < 1 ||
            value > is900::hostkit::deviceStationCount)
            return false;
        numbers.push_back(static_cast<int>(value));
    }
    if (numbers.empty()) numbers.push_back(0);
    return true;
}

// head, wand, off or MINCUTOFF,BETA; false for a word that is none of them.
bool filterChoice(const std::string& word, FilterChoice& choice) {
    if (optionwords::isOneOf(word, optionwords::headFilter, sameKeyword)) choice.settings = OneEuroSettings::head();
    else if (optionwords::isOneOf(word, optionwords::wandFilter, sameKeyword)) choice.settings = OneEuroSettings::wand();
    else if (optionwords::isOneOf(word, optionwords::switchedOff, sameKeyword)) choice.on = false;
    else {
        const std::size_t comma = word.find(',');
        OneEuroSettings settings;
        if (comma == std::string::npos || !number(word.substr(0, comma), settings.minCutoffHz) ||
            !number(word.substr(comma + 1), settings.beta) || settings.minCutoffHz <= 0 || settings.beta < 0)
            return false;
        choice.settings = settings;
    }
    return true;
}

} // namespace

is900::hostkit::PoseProcessing ProcessingKeys::forStation(int station, bool wand) const {
    is900::hostkit::PoseProcessing processing;
    auto predict = predictMilliseconds.find(station);
    if (predict == predictMilliseconds.end()) predict = predictMilliseconds.find(0);
    if (predict != predictMilliseconds.end()) processing.predictMilliseconds = predict->second;
    auto chosen = filter.find(station);
    if (chosen == filter.end()) chosen = filter.find(0);
    if (chosen != filter.end() && chosen->second.on)
        processing.filter = chosen->second.settings.value_or(wand ? OneEuroSettings::wand() : OneEuroSettings::head());
    return processing;
}

bool readProcessingKey(const is900::hostkit::OptionLine& line, const std::string& where, ProcessingKeys& keys) {
    std::vector<int> numbers;
    if (sameKeyword(line.keyword, "predict")) {
        double milliseconds;
        if (line.args.empty() || !number(line.args[0], milliseconds) || milliseconds < 0 || milliseconds > 100 ||
            !stations(line.args, 1, numbers))
            throw ConfigError(where + "'predict' takes MILLISECONDS from 0 to 100, then any station numbers (1 to " +
                              std::to_string(is900::hostkit::deviceStationCount) + ")");
        for (int station : numbers) keys.predictMilliseconds[station] = milliseconds;
        return true;
    }
    if (!sameKeyword(line.keyword, "filter")) return false;
    FilterChoice choice;
    const bool chosen = !line.args.empty() && filterChoice(line.args[0], choice);
    if (!stations(line.args, chosen ? 1 : 0, numbers))
        throw ConfigError(where + "'filter' takes head, wand, off or MINCUTOFF,BETA (cut-off in Hz above 0, speed "
                                  "coefficient not negative), then any station numbers (1 to " +
                          std::to_string(is900::hostkit::deviceStationCount) + ")");
    for (int station : numbers) keys.filter[station] = choice;
    return true;
}
