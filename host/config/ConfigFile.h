// The host's configuration file: one option per line, a keyword and its
// arguments separated by blanks, double quotes around an argument that holds
// blanks, '#' to the end of the line a comment.
#pragma once

#include "host/config/ProcessingKeys.h"
#include "is900/hostkit/DeviceSetup.h"
#include "is900/hostkit/OptionLine.h"
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using is900::hostkit::OptionLine;
using is900::hostkit::sameKeyword;

class ConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One device of the host: its name, its option lines and, when its section
// names one, the plug-in library that drives it ("plugin PATH", read by the
// host and not handed to the device), and how the host processes its poses
// (the predict and filter keys, likewise the host's). Its set-up is what the
// device makes of the option lines; the parts of the host that need it take
// it from here.
struct DeviceSection {
    std::string name;
    std::string pluginPath;
    ProcessingKeys processing;
    std::vector<OptionLine> options;
    is900::hostkit::DeviceSetup setup; // read by readSetups once the option lines are final
};

// A configuration either holds option lines of one device, or device
// sections: "[device NAME]" followed by that device's option lines.
struct HostConfig {
    bool sectioned = false;
    std::vector<DeviceSection> devices; // one unnamed device when not sectioned
    std::string text;                   // the bytes it was read from
};

// One line of a configuration file as the reader takes it: the start of a
// device section with its name, or an option (keyword empty on a blank or
// comment line).
struct ConfigFileLine {
    bool startsSection = false;
    std::string sectionName;
    OptionLine option;
};

// ConfigError naming sourceName and the line when the line cannot be read.
ConfigFileLine readConfigLine(const std::string& line, uint32_t lineNumber, const std::string& sourceName);

// What the host does to a station's poses: the device's predict and filter
// keys for it, a wand's default filter for a station with buttons.
is900::hostkit::PoseProcessing stationProcessing(const DeviceSection& device, int station);

// sourceName appears in messages ("head.cfg:12: ...").
HostConfig parseHostConfig(const std::string& text, const std::string& sourceName);
HostConfig readHostConfig(const std::string& path);
// The file's bytes; ConfigError when it is not a readable file.
std::string readConfigText(const std::string& path);
// The option lines of a configuration without sections.
std::vector<OptionLine> parseConfigText(const std::string& text, const std::string& sourceName);
std::vector<OptionLine> readConfigFile(const std::string& path);

// Replaces the first line whose keyword `replaces` accepts with the given
// one (dropping any later ones), or appends it when there is none; refused
// when the device's option lines are full.
void overrideOption(std::vector<OptionLine>& options, const OptionLine& line,
                    const std::function<bool(const std::string&)>& replaces);
// Replaces the first port line with one naming portName (dropping any later
// ones), or appends such a line when there is none.
void overridePortOption(std::vector<OptionLine>& options, const std::string& portName);

// Reads each device's set-up from its option lines.
void readSetups(HostConfig& config);
// Points a device whose set-up was read at another port (a simulator's), in
// its option lines and its set-up.
void overrideDevicePort(DeviceSection& device, const std::string& portName);
