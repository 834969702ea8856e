#include "host/config/ConfigFile.h"

#include "host/platform/HostPlatform.h"
#include "rules/OptionWords.h"
#include "is900/hostkit/Records.h"

#include <algorithm>
#include <functional>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

std::string locate(const std::string& sourceName, uint32_t lineNumber) {
    return sourceName + ":" + std::to_string(lineNumber) + ": ";
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Splits one line into words; false when a quote is left open.
bool splitWords(const std::string& line, std::vector<std::string>& words) {
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (char c : line) {
        if (quoted) {
            if (c == '"') quoted = false;
            else word += c;
        } else if (c == '"') {
            quoted = true;
            inWord = true;
        } else if (c == '#') {
            break;
        } else if (isBlank(c)) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted) return false;
    if (inWord) words.push_back(word);
    return true;
}

OptionLine optionFromLine(const std::string& line, uint32_t lineNumber, const std::string& sourceName) {
    std::vector<std::string> words;
    if (!splitWords(line, words)) throw ConfigError(locate(sourceName, lineNumber) + "unterminated double quote");
    OptionLine option;
    option.lineNumber = lineNumber;
    if (words.empty()) return option;
    if (words.size() - 1 > is900::hostkit::maxOptionArgs)
        throw ConfigError(locate(sourceName, lineNumber) + "more than " + std::to_string(is900::hostkit::maxOptionArgs) +
                          " arguments to option '" + words.front() + "'");
    option.keyword = words.front();
    option.args.assign(words.begin() + 1, words.end());
    return option;
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\v\f");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r\v\f") + 1 - first);
}

// "[device NAME]", blanks allowed inside the brackets, a comment after them.
bool isSectionLine(const std::string& line) {
    const std::string text = trimmed(line.substr(0, line.find('#')));
    return !text.empty() && text[0] == '[';
}

std::string sectionName(const std::string& line, uint32_t lineNumber, const std::string& sourceName) {
    const std::string text = trimmed(line.substr(0, line.find('#')));
    std::vector<std::string> words;
    if (text.back() != ']' || !splitWords(text.substr(1, text.size() - 2), words) || words.empty() ||
        !sameKeyword(words[0], "device") || words.size() > 2)
        throw ConfigError(locate(sourceName, lineNumber) + "expected a section line [device NAME]");
    if (words.size() == 1 || words[1].empty())
        throw ConfigError(locate(sourceName, lineNumber) + "the device section has no name");
    return words[1];
}

void addOption(DeviceSection& device, const OptionLine& option, const std::string& sourceName, bool sectioned) {
    if (sectioned && sameKeyword(option.keyword, "plugin")) {
        if (option.args.size() != 1)
            throw ConfigError(locate(sourceName, option.lineNumber) + "'plugin' takes one path");
        device.pluginPath = option.args[0];
        return;
    }
    if (readProcessingKey(option, locate(sourceName, option.lineNumber), device.processing)) return;
    if (device.options.size() == is900::hostkit::maxOptionLines)
        throw ConfigError(locate(sourceName, option.lineNumber) + "more than " + std::to_string(is900::hostkit::maxOptionLines) +
                          " options (a device takes at most " + std::to_string(is900::hostkit::maxOptionLines) + ")");
    device.options.push_back(option);
}

bool isPortKeyword(const std::string& keyword) { return optionwords::isOneOf(keyword, optionwords::port, sameKeyword); }

} // namespace

is900::hostkit::PoseProcessing stationProcessing(const DeviceSection& device, int station) {
    const bool wand = station >= 1 && station <= is900::hostkit::deviceStationCount &&
                      device.setup.controllerOn[static_cast<std::size_t>(station - 1)];
    return device.processing.forStation(station, wand);
}

ConfigFileLine readConfigLine(const std::string& line, uint32_t lineNumber, const std::string& sourceName) {
    ConfigFileLine read;
    read.startsSection = isSectionLine(line);
    if (read.startsSection) read.sectionName = sectionName(line, lineNumber, sourceName);
    else read.option = optionFromLine(line, lineNumber, sourceName);
    return read;
}

HostConfig parseHostConfig(const std::string& text, const std::string& sourceName) {
    HostConfig config;
    config.text = text;
    config.devices.emplace_back();
    ProcessingKeys everyDevice;
    std::istringstream lines(text);
    std::string line;
    uint32_t lineNumber = 0;
    while (std::getline(lines, line)) {
        ++lineNumber;
        const ConfigFileLine read = readConfigLine(line, lineNumber, sourceName);
        if (read.startsSection) {
            const std::string& name = read.sectionName;
            if (!config.sectioned && !config.devices.front().options.empty())
                throw ConfigError(locate(sourceName, config.devices.front().options.front().lineNumber) +
                                  "option lines before the first [device NAME] section");
            // Processing keys before the first section hold for every device.
            if (!config.sectioned) {
                everyDevice = config.devices.front().processing;
                config.devices.clear();
            }
            config.sectioned = true;
            for (const DeviceSection& device : config.devices)
                if (device.name == name)
                    throw ConfigError(locate(sourceName, lineNumber) + "a second section for device '" + name + "'");
            config.devices.emplace_back();
            config.devices.back().name = name;
            config.devices.back().processing = everyDevice;
            continue;
        }
        if (!read.option.keyword.empty()) addOption(config.devices.back(), read.option, sourceName, config.sectioned);
    }
    return config;
}

namespace {

std::vector<OptionLine> singleDevice(const HostConfig& config, const std::string& sourceName) {
    if (config.sectioned) throw ConfigError(sourceName + ": device sections where one device's options were expected");
    return config.devices.front().options;
}

} // namespace

std::string readConfigText(const std::string& path) {
    const hostplatform::PathKind kind = hostplatform::pathKind(path);
    if (kind == hostplatform::PathKind::folder || kind == hostplatform::PathKind::other)
        throw ConfigError("cannot read configuration file '" + path + "': " +
                          (kind == hostplatform::PathKind::folder ? "it is a folder" : "it is not a regular file"));
    std::ifstream file(path, std::ios::binary);
    if (!file) throw ConfigError("cannot read configuration file '" + path + "': " + std::strerror(errno));
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) throw ConfigError("cannot read configuration file '" + path + "'");
    return text.str();
}

HostConfig readHostConfig(const std::string& path) { return parseHostConfig(readConfigText(path), path); }

std::vector<OptionLine> parseConfigText(const std::string& text, const std::string& sourceName) {
    return singleDevice(parseHostConfig(text, sourceName), sourceName);
}

std::vector<OptionLine> readConfigFile(const std::string& path) { return singleDevice(readHostConfig(path), path); }

void overrideOption(std::vector<OptionLine>& options, const OptionLine& line,
                    const std::function<bool(const std::string&)>& replaces) {
    auto first = std::find_if(options.begin(), options.end(),
                              [&](const OptionLine& option) { return replaces(option.keyword); });
    if (first == options.end()) {
        if (options.size() == is900::hostkit::maxOptionLines)
            throw ConfigError("no room for the " + line.keyword + " option: the configuration already has " +
                              std::to_string(is900::hostkit::maxOptionLines) + " options");
        options.push_back(line);
        return;
    }
    first->keyword = line.keyword;
    first->args = line.args;
    options.erase(std::remove_if(first + 1, options.end(),
                                 [&](const OptionLine& option) { return replaces(option.keyword); }),
                  options.end());
}

void overridePortOption(std::vector<OptionLine>& options, const std::string& portName) {
    overrideOption(options, OptionLine{0, optionwords::port.list[0], {portName}}, isPortKeyword);
}

void readSetups(HostConfig& config) {
    for (DeviceSection& device : config.devices) device.setup = is900::hostkit::readDeviceSetup(device.options);
}

void overrideDevicePort(DeviceSection& device, const std::string& portName) {
    overridePortOption(device.options, portName);
    // Read anew rather than patched: the set-up describes the option lines one by one.
    device.setup = is900::hostkit::readDeviceSetup(device.options);
}
