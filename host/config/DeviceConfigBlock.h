// What the host hands the device at createDev: the is900::hostkit::DevConfig block built from
// the option lines.
#pragma once

#include "is900/hostkit/Records.h"
#include "host/config/ConfigFile.h"

#include <memory>
#include <string>
#include <vector>

class DeviceConfigBlock {
public:
    DeviceConfigBlock(const std::string& deviceName, const std::vector<OptionLine>& options);
    DeviceConfigBlock(const DeviceConfigBlock&) = delete;
    DeviceConfigBlock& operator=(const DeviceConfigBlock&) = delete;

    is900::hostkit::DevConfig* get() { return config.get(); }

private:
    std::string name;
    std::vector<OptionLine> lines; // owns every text the block points to
    std::unique_ptr<is900::hostkit::DevConfig> config;
};
