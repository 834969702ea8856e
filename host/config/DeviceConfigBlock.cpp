#include "host/config/DeviceConfigBlock.h"

DeviceConfigBlock::DeviceConfigBlock(const std::string& deviceName, const std::vector<OptionLine>& options)
    : name(deviceName), lines(options), config(new is900::hostkit::DevConfig()) {
    config->name = &name[0];
    for (OptionLine& option : lines) {
        if (config->lineCount == is900::hostkit::maxOptionLines) break;
        is900::hostkit::ConfigLine& line = config->lines[config->lineCount++];
        line.lineNumber = option.lineNumber;
        line.keyword = &option.keyword[0];
        for (std::string& arg : option.args) {
            if (line.argCount == is900::hostkit::maxOptionArgs) break;
            line.args[line.argCount++] = &arg[0];
        }
    }
}

