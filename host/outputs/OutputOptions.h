// The host's command-line options for its outputs, their checks, and the
// hub they build.
#pragma once

#include "host/config/ConfigFile.h"
#include "host/outputs/OutputHub.h"

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace CLI {
class App;
}

struct OutputOptions {
    std::vector<std::string> oscUrls;
    bool dds = false;
    int ddsDomain = 0;
    std::string ddsPrefix = "is900";
    std::string frameId = "is900";
    bool tf = false;
    std::string recordPath;
    std::string recordDevice; // empty: the only device
    std::vector<DeviceSection> devices; // the configuration's, which the DDS output describes
};

void addOutputOptions(CLI::App& app, OutputOptions& options);

// True when an output needs standard output to carry data only.
bool sendsRecords(const OutputOptions& options);

struct OutputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws OutputError for an option that cannot work, before anything is set up.
void checkOutputOptions(const OutputOptions& options, const std::string& deviceName);

// Builds the hub: JSON lines on jsonLines when it is not null, then the
// record file of the device named recordDevice (or the only one), OSC and
// DDS. Throws OutputError with one clear message when an option is wrong or
// an output cannot be set up; nothing has touched a device by then.
std::unique_ptr<OutputHub> buildOutputs(const OutputOptions& options, std::FILE* jsonLines,
                                        const std::string& deviceName, const std::vector<OptionLine>& deviceOptions);
