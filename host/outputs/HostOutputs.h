// Everything the host writes data to: its own copy of standard output (for
// the table or the JSON lines), kept apart from the plug-in's log lines, and
// the hub of JSON lines, record file and network outputs.
#pragma once

#include "host/outputs/OutputOptions.h"
#include "host/outputs/TableOutput.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <ostream>

class HostOutputs {
public:
    // format: "auto", "table" or "jsonl". Separates standard output when the
    // data needs it or quiet asks for no log lines, then builds the outputs;
    // throws OutputError. Call before the plug-in is loaded.
    HostOutputs(const OutputOptions& options, const std::string& format, bool quiet, const std::string& deviceName,
                const std::vector<OptionLine>& deviceOptions);
    ~HostOutputs();

    bool terminal() const { return onTerminal; }
    bool jsonLines() const { return format == "jsonl" || (format == "auto" && !onTerminal); }
    std::ostream& screen() { return stream ? *stream : *fallback; }
    // A further output (the web view), added before any device is run.
    void add(std::unique_ptr<Output> output) { outputs->add(std::move(output)); }
    // Null when there is nothing to hand records to but the screen.
    OutputHub* hub() { return outputs->empty() ? nullptr : outputs.get(); }
    // The table's output in the hub; null with JSON lines.
    const TableOutput* table() const { return tableOutput; }
    // Called once when the reader of the JSON lines has gone away.
    void onReaderGone(std::function<void()> handler) { outputs->onLosslessFailure(std::move(handler)); }
    // Sends what is queued and tells on standard error what each output sent and dropped.
    void finish();

private:
    std::string format;
    bool onTerminal;
    std::FILE* file;
    std::ostream* fallback;
    std::unique_ptr<std::streambuf> buffer;
    std::unique_ptr<std::ostream> stream;
    std::unique_ptr<OutputHub> outputs;
    const TableOutput* tableOutput = nullptr;
};
