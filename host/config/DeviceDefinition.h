// One device as the configuration describes it.
#pragma once

#include "host/config/ConfigFile.h"
#include "host/config/LoggerRecord.h"
#include "host/config/StationLayout.h"

#include <string>
#include <vector>

class PluginLibrary;

struct DeviceDefinition {
    std::string name;
    std::string portName;
    const PluginLibrary* plugin = nullptr;
    std::vector<OptionLine> options;
    LoggerSettings logger;
    StationLayout layout;
};
