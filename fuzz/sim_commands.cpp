// The simulator's command parser: any bytes are split into commands and
// applied to the tracker's settings; only the configured stations ever have
// output lists.
#include "FuzzHost.h"

#include "sim/Commands.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    is900sim::CommandSplitter splitter;
    is900sim::TrackerSettings settings;
    settings.powerUp({{1, is900sim::StationKind::tracker}, {2, is900sim::StationKind::both}}, false);
    std::string command;
    for (size_t i = 0; i < size; ++i) {
        if (!splitter.feed(data[i], command)) continue;
        FUZZ_CHECK(!command.empty(), "an empty command");
        if (command != is900sim::resetCommandText && command != is900sim::pollCommandText)
            is900sim::applyCommand(command, settings);
    }
    for (const auto& list : settings.outputLists)
        FUZZ_CHECK((list.first == 1 || list.first == 2) && !list.second.empty(), "output list of station %d",
                   list.first);
    return 0;
}
