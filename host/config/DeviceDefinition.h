// One device as the configuration describes it.
#pragma once

#include "host/config/ConfigFile.h"
#include "host/config/LoggerRecord.h"
#include "is900/hostkit/DeviceSetup.h"
#include "is900/hostkit/PluginLibrary.h"

#include <string>
#include <vector>

struct DeviceDefinition {
    std::string name;
    const is900::hostkit::PluginLibrary* plugin = nullptr;
    std::vector<OptionLine> options;
    LoggerSettings logger;
    is900::hostkit::DeviceSetup setup; // read from options
};
