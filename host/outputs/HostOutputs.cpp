#include "host/outputs/HostOutputs.h"

#include "host/outputs/QualityOutput.h"
#include "host/platform/HostPlatform.h"

#include <iostream>
#include <streambuf>

namespace {

// Writes through a C stream, whose own buffer gathers the bytes; a flush of
// the stream flushes the file.
class FileBuffer : public std::streambuf {
public:
    explicit FileBuffer(std::FILE* file) : file(file) {}

protected:
    int overflow(int c) override {
        if (c == traits_type::eof()) return traits_type::not_eof(c);
        return std::fputc(c, file) == EOF ? traits_type::eof() : c;
    }
    std::streamsize xsputn(const char* bytes, std::streamsize count) override {
        return static_cast<std::streamsize>(std::fwrite(bytes, 1, static_cast<std::size_t>(count), file));
    }
    int sync() override { return std::fflush(file) == 0 ? 0 : -1; }

private:
    std::FILE* file;
};

} // namespace

HostOutputs::HostOutputs(const OutputOptions& options, const std::string& format, bool quiet,
                         const std::string& deviceName, const std::vector<OptionLine>& deviceOptions)
    : format(format), onTerminal(hostplatform::standardOutputIsTerminal()), file(stdout), fallback(&std::cout) {
    checkOutputOptions(options, deviceName);
    if (quiet || jsonLines() || sendsRecords(options)) file = hostplatform::keepStandardOutputForData(quiet);
    if (file != stdout) {
        buffer.reset(new FileBuffer(file));
        stream.reset(new std::ostream(buffer.get()));
    }
    outputs = buildOutputs(options, jsonLines() ? file : nullptr, deviceName, deviceOptions);
    std::unique_ptr<ProcessingStage> poses(new ProcessingStage(options.devices));
    if (!poses->empty()) outputs->process(std::move(poses));
    if (!jsonLines()) {
        std::unique_ptr<TableOutput> table(new TableOutput());
        tableOutput = table.get();
        outputs->add(std::move(table));
    }
    // Last: its thread publishes into the hub, which must have every output by then.
    outputs->add(std::unique_ptr<Output>(new QualityOutput(outputs.get())));
}

HostOutputs::~HostOutputs() { outputs->close(); }

void HostOutputs::finish() {
    outputs->close();
    for (const OutputCounts& counts : outputs->counts()) {
        // The screen's and the quality figures' own, never told.
        if (counts.output == TableOutput::name || counts.output == QualityOutput::name) continue;
        std::cerr << "is900-host: " << counts.output << ": " << counts.sent << " sent, " << counts.dropped
                  << " dropped" << std::endl;
    }
}
