#include "host/outputs/web/ConfigWriter.h"

#include "host/config/ConfigRewrite.h"
#include "host/platform/FileReplace.h"
#include "is900/hostkit/Alignment.h"

#include <cstdio>
#include <random>

namespace {

const int badRequest = 400, conflict = 409, serverError = 500;

std::vector<OptionLine> checkedLines(const std::vector<std::string>& texts, const is900::hostkit::DeviceSetup& setup) {
    std::vector<OptionLine> lines;
    try {
        lines = correctionLines(texts);
    } catch (const ConfigError& error) {
        throw ConfigWriteRefused(badRequest, error.what());
    }
    for (const OptionLine& line : lines) {
        const int station = sensorLineStation(line);
        const std::string why = station ? is900::hostkit::unalignableStation(setup, station) : std::string();
        if (!why.empty()) throw ConfigWriteRefused(badRequest, why);
    }
    return lines;
}

} // namespace

ConfigWriter::ConfigWriter(std::string path, std::string text, bool sectioned)
    : filePath(std::move(path)), sectioned(sectioned), textRead(std::move(text)) {}

ConfigWritten ConfigWriter::write(const DeviceSection& device, const std::vector<std::string>& texts) {
    const std::vector<OptionLine> lines = checkedLines(texts, device.setup);
    std::lock_guard<std::mutex> lock(mutex);
    std::string now;
    try {
        now = readConfigText(filePath);
    } catch (const ConfigError& error) {
        throw ConfigWriteRefused(conflict, error.what());
    }
    if (now != textRead)
        throw ConfigWriteRefused(conflict, filePath + " was changed since the host read it; nothing was written "
                                                      "(start the host again to read it anew)");
    ConfigWritten written;
    const std::string text = rewritten(lines, device, written.device);
    try {
        written.backup = hostplatform::replaceFileKeepingBackup(filePath, textRead, text);
    } catch (const hostplatform::FileReplaceError& error) {
        throw ConfigWriteRefused(serverError, error.what());
    }
    textRead = text;
    return written;
}

// The file's text with the lines in the device's section, and the device
// as it runs with them.
std::string ConfigWriter::rewritten(const std::vector<OptionLine>& lines, const DeviceSection& device,
                                    DeviceSection& next) const {
    try {
        const std::string text = rewriteCorrections(textRead, sectioned ? device.name : std::string(), lines);
        for (const DeviceSection& section : parseHostConfig(text, filePath).devices) {
            if (sectioned && section.name != device.name) continue;
            next = device;
            next.options = withHostLines(section.options, device.options);
            next.setup = is900::hostkit::readDeviceSetup(next.options);
            return text;
        }
    } catch (const ConfigError& error) {
        throw ConfigWriteRefused(badRequest, error.what());
    }
    throw ConfigWriteRefused(badRequest, filePath + " has no section for device '" + device.name + "'");
}

std::string randomToken() {
    std::random_device source;
    std::string token;
    for (int word = 0; word < 4; ++word) {
        char hex[9];
        std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(source() & 0xffffffffu));
        token += hex;
    }
    return token;
}
