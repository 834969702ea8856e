// The reference host's configuration-file reader: any text either gives at
// most 32 options of at most 64 arguments each, or a ConfigError; the port
// override then leaves exactly one port line, naming the given port.
#include "FuzzHost.h"

#include "boundary/HostRecords.h"
#include "host/config/ConfigFile.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<OptionLine> options;
    try {
        options = parseConfigText(text, "fuzz.cfg");
    } catch (const ConfigError& error) {
        FUZZ_CHECK(std::string(error.what()).rfind("fuzz.cfg:", 0) == 0, "message without its place: %s",
                   error.what());
        return 0;
    }
    FUZZ_CHECK(options.size() <= maxOptionLines, "%zu options", options.size());
    for (const OptionLine& option : options) {
        FUZZ_CHECK(!option.keyword.empty(), "an option without a keyword at line %u", option.lineNumber);
        FUZZ_CHECK(option.args.size() <= maxOptionArgs, "%zu arguments", option.args.size());
    }
    try {
        overridePortOption(options, "com7");
    } catch (const ConfigError&) {
        FUZZ_CHECK(options.size() == maxOptionLines, "port override refused with room left");
        return 0;
    }
    size_t ports = 0;
    for (const OptionLine& option : options)
        if (sameKeyword(option.keyword, "port") || sameKeyword(option.keyword, "serialport")) {
            ++ports;
            FUZZ_CHECK(option.args.size() == 1 && option.args[0] == "com7", "the port line does not name com7");
        }
    FUZZ_CHECK(ports == 1, "%zu port lines after the override", ports);
    return 0;
}
