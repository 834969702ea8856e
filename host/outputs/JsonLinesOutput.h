// JSON lines on a stream of the host's own (its copy of standard output), and
// the record file: the JSON lines of one device behind a line that describes
// the recording. Both are lossless.
#pragma once

#include "host/config/ConfigFile.h"
#include "host/outputs/Output.h"
#include "host/platform/HostPlatform.h"

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>


class JsonLinesOutput : public Output {
public:
    // Writes to file, which stays the caller's; a write that fails (a reader
    // that went away) fails the output, and so does, once the run ends, a
    // reader that takes no line for a second.
    explicit JsonLinesOutput(std::FILE* file) : file(file), room(file) {}

    bool send(const PublishedRecord& record) override;
    void sendStatus(const DeviceStatus& status) override;
    void sendQuality(const is900::hostkit::DeviceQuality& quality) override;
    void giveUpWhenStalled() override;
    bool lossless() const override { return true; }
    bool readyNow() const override;
    std::string describe() const override { return "standard output"; }

private:
    bool writeLine(const std::string& line);
    bool roomForLine();

    std::FILE* file;
    hostplatform::RoomForLines room;
    std::atomic<bool> runEnded{false};
    bool failed = false;
};

class RecordFileOutput : public Output {
public:
    // Throws std::runtime_error naming the file when it cannot be written.
    RecordFileOutput(const std::string& path, const std::string& device, const std::vector<OptionLine>& options);
    ~RecordFileOutput() override;

    bool send(const PublishedRecord& record) override;
    void sendStatus(const DeviceStatus& status) override;
    bool lossless() const override { return true; }
    std::string describe() const override { return "record file " + path; }

private:
    bool writeLine(const std::string& line);

    std::string path;
    std::string device;
    std::FILE* file = nullptr;
};
