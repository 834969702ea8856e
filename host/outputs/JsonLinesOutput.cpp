#include "host/outputs/JsonLinesOutput.h"

#include "host/outputs/ProcessingStage.h"
#include "host/platform/HostPlatform.h"
#include "is900/hostkit/RecordSchema.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <stdexcept>

namespace {

// One write per line: where the plug-in's log shares the stream (Windows),
// its lines can come between two lines but never inside one.
bool writeAndFlush(std::FILE* file, const std::string& line) {
    const std::string ended = line + '\n';
    return std::fwrite(ended.data(), 1, ended.size(), file) == ended.size() && std::fflush(file) == 0;
}

// At the end of the run, a reader that takes no line for this long is not
// waited for: it stopped reading without leaving (a paused pager).
const int stalledReaderMs = 1000;

} // namespace

// A line is a few hundred bytes, well under what a pipe takes whole.
bool JsonLinesOutput::readyNow() const { return !failed && hostplatform::lineGoesOutNow(file); }

bool JsonLinesOutput::send(const PublishedRecord& record) { return writeLine(recordJsonLine(record)); }

void JsonLinesOutput::sendStatus(const DeviceStatus& status) { writeLine(statusJsonLine(status)); }

void JsonLinesOutput::sendQuality(const is900::hostkit::DeviceQuality& quality) {
    writeLine(is900::hostkit::qualityJsonLine(quality));
}

bool JsonLinesOutput::writeLine(const std::string& line) {
    if (!failed && !roomForLine()) {
        failed = true;
        std::cerr << "is900-host: standard output: the reader took no line for " << stalledReaderMs / 1000
                  << " s at the end of the run; the lines still queued are dropped" << std::endl;
    }
    if (!failed && !writeAndFlush(file, line)) failed = true;
    return !failed;
}

// Without limit while the run goes on: a reader may pause as long as it likes.
bool JsonLinesOutput::roomForLine() {
    while (true) {
        const bool limited = runEnded;
        switch (room.wait(limited ? stalledReaderMs : -1)) {
        case hostplatform::RoomForLines::Outcome::room:
            return true;
        case hostplatform::RoomForLines::Outcome::timedOut:
            return false;
        case hostplatform::RoomForLines::Outcome::woken:
            break;
        }
    }
}

void JsonLinesOutput::giveUpWhenStalled() {
    runEnded = true;
    room.wake();
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
