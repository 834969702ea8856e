#include "host/outputs/HostOutputs.h"

#include "host/platform/HostPlatform.h"

#include <iostream>

HostOutputs::HostOutputs(const OutputOptions& options, const std::string& format, bool quiet,
                         const std::string& deviceName, const std::vector<OptionLine>& deviceOptions)
    : format(format), onTerminal(hostplatform::standardOutputIsTerminal()), file(stdout), fallback(&std::cout) {
    checkOutputOptions(options, deviceName);
    if (quiet || jsonLines() || sendsRecords(options)) file = hostplatform::keepStandardOutputForData(quiet);
    if (file != stdout) {
        buffer.reset(new __gnu_cxx::stdio_filebuf<char>(file, std::ios::out));
        stream.reset(new std::ostream(buffer.get()));
    }
    outputs = buildOutputs(options, jsonLines() ? file : nullptr, deviceName, deviceOptions);
}

HostOutputs::~HostOutputs() { outputs->close(); }

void HostOutputs::finish() {
    outputs->close();
    for (const OutputCounts& counts : outputs->counts())
        std::cerr << "is900-host: " << counts.output << ": " << counts.sent << " sent, " << counts.dropped
                  << " dropped" << std::endl;
}
