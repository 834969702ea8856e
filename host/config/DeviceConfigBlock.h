// What the host hands the device at createDev: the DevConfig block built from
// the option lines.
#pragma once

#include "boundary/HostRecords.h"
#include "host/config/ConfigFile.h"

#include <memory>
#include <string>
#include <vector>

class DeviceConfigBlock {
public:
    DeviceConfigBlock(const std::string& deviceName, const std::vector<OptionLine>& options);
    DeviceConfigBlock(const DeviceConfigBlock&) = delete;
    DeviceConfigBlock& operator=(const DeviceConfigBlock&) = delete;

    DevConfig* get() { return config.get(); }

private:
    std::string name;
    std::vector<OptionLine> lines; // owns every text the block points to
    std::unique_ptr<DevConfig> config;
};
