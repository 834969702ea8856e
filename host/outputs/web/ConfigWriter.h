// The configuration file behind the web view's POST /config: a device's
// corrections checked, written into its section beside a numbered backup,
// and the option lines the device runs with from then on. One write at a
// time.
#pragma once

#include "host/config/ConfigFile.h"

#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

// A write refused, with the HTTP status that says what kind of refusal.
class ConfigWriteRefused : public std::runtime_error {
public:
    ConfigWriteRefused(int status, const std::string& why) : std::runtime_error(why), httpStatus(status) {}
    int httpStatus;
};

struct ConfigWritten {
    std::string backup;   // the file as it was, PATH.N
    DeviceSection device; // with the option lines and set-up it runs with now
};

class ConfigWriter {
public:
    // text: the bytes the host read from path; sectioned: whether they hold device sections.
    ConfigWriter(std::string path, std::string text, bool sectioned);

    const std::string& path() const { return filePath; }
    // Writes lines, as a request gives them, for the device, which runs
    // with its option lines and set-up. Refused with 400 for lines that may
    // not be written (or a station that cannot take them), 409 when the
    // file changed since it was read or last written, 500 when it cannot be
    // written (the file is then as it was).
    ConfigWritten write(const DeviceSection& device, const std::vector<std::string>& lines);

private:
    std::string rewritten(const std::vector<OptionLine>& lines, const DeviceSection& device, DeviceSection& next) const;

    const std::string filePath;
    const bool sectioned;
    std::mutex mutex;
    std::string textRead; // under mutex: the file's bytes as read or last written
};

// 128 bits from std::random_device, in hex.
std::string randomToken();
