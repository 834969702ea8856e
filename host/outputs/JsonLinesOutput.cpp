#include "host/outputs/JsonLinesOutput.h"

#include "host/platform/HostPlatform.h"
#include "is900/hostkit/RecordSchema.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

// One write per line: where the plug-in's log shares the stream (Windows),
// its lines can come between two lines but never inside one.
bool writeAndFlush(std::FILE* file, const std::string& line) {
    const std::string ended = line + '\n';
    return std::fwrite(ended.data(), 1, ended.size(), file) == ended.size() && std::fflush(file) == 0;
}

} // namespace

// A line is a few hundred bytes, well under what a pipe takes whole.
bool JsonLinesOutput::readyNow() const { return !failed && hostplatform::lineGoesOutNow(file); }

bool JsonLinesOutput::send(const PublishedRecord& record) { return writeLine(jsonLine(record.view)); }

void JsonLinesOutput::sendStatus(const DeviceStatus& status) { writeLine(statusJsonLine(status)); }

bool JsonLinesOutput::writeLine(const std::string& line) {
    if (!failed && !writeAndFlush(file, line)) failed = true;
    return !failed;
}

RecordFileOutput::RecordFileOutput(const std::string& path, const std::string& device,
                                   const std::vector<OptionLine>& options)
    : path(path), device(device), file(std::fopen(path.c_str(), "w")) {
    using namespace is900::hostkit;
    if (file && writeAndFlush(file, recordingHeaderLine(recordingHeaderOf(options)))) return;
    const std::string reason = std::strerror(errno);
    if (file) std::fclose(file);
    throw std::runtime_error("cannot write the record file '" + path + "': " + reason);
}

RecordFileOutput::~RecordFileOutput() {
    if (file) std::fclose(file);
}

bool RecordFileOutput::send(const PublishedRecord& record) {
    return record.device != device || writeLine(jsonLine(record.view));
}

void RecordFileOutput::sendStatus(const DeviceStatus& status) {
    if (status.device == device) writeLine(statusJsonLine(status));
}

// Each line is flushed so that a recording cut short by a crash keeps
// every record written before it.
bool RecordFileOutput::writeLine(const std::string& line) { return writeAndFlush(file, line); }
