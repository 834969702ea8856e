#include "host/platform/QuietFilter.h"
#include "host/platform/HostPlatform.h"

#include <chrono>
#include <cstring>
#include <iostream>
#include <string>

namespace hostplatform {

namespace {

const char errorsOn[] = "\x1eis900-host:errors-on";
const char errorsOff[] = "\x1eis900-host:errors-off";

// One line without its end, however long; false at the end of the input.
bool readLine(std::FILE* input, std::string& line) {
    line.clear();
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, input)) {
        line += buffer;
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
    }
    return !line.empty();
}

} // namespace

QuietFilter quietFilter;

void QuietFilter::run(std::FILE* input) {
    bool show = false;
    for (std::string line; readLine(input, line);) {
        if (line == errorsOn || line == errorsOff) {
            show = line == errorsOn;
            std::lock_guard<std::mutex> guard(mutex);
            ++marksSeen;
            caughtUp.notify_all();
        } else if (show && line.find(": ERROR: ") != std::string::npos) {
            std::fprintf(stderr, "%s\n", line.c_str());
            std::fflush(stderr);
        }
    }
}

void QuietFilter::showErrors(bool show) {
    if (!active) return;
    unsigned long number;
    {
        std::lock_guard<std::mutex> guard(mutex);
        number = ++marksWritten;
    }
    std::cout << (show ? errorsOn : errorsOff) << std::endl;
    std::unique_lock<std::mutex> lock(mutex);
    caughtUp.wait_for(lock, std::chrono::seconds(2), [&] { return marksSeen >= number; });
}

PluginErrorsShown::PluginErrorsShown() { quietFilter.showErrors(true); }

PluginErrorsShown::~PluginErrorsShown() { quietFilter.showErrors(false); }

} // namespace hostplatform
