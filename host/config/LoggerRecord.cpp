#include "host/config/LoggerRecord.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

LoggerRecord::LoggerRecord(const LoggerSettings& settings) {
    setFlag(offsetof(is900::hostkit::CLogH, showDate), settings.timestamps);
    setFlag(offsetof(is900::hostkit::CLogH, showTime), settings.timestamps);
    setFlag(offsetof(is900::hostkit::CLogH, showThreadId), settings.threadIds);
    setFlag(offsetof(is900::hostkit::CLogH, enabled), settings.enabled);
    setText(offsetof(is900::hostkit::CLogH, name), settings.name);
    setText(offsetof(is900::hostkit::CLogH, infoLabel), "INFO");
    setText(offsetof(is900::hostkit::CLogH, errorLabel), "ERROR");
    setText(offsetof(is900::hostkit::CLogH, warningLabel), "WARNING");
    setText(offsetof(is900::hostkit::CLogH, debugLabel), "DEBUG");
    setNumber(offsetof(is900::hostkit::CLogH, debugThreshold), 1);
    setNumber(offsetof(is900::hostkit::CLogH, debugLevel), settings.debugLevel);
    setNumber(offsetof(is900::hostkit::CLogH, debugGroup), 0);
}

void LoggerRecord::setFlag(std::size_t offset, bool value) { bytes[offset] = value ? 1 : 0; }

void LoggerRecord::setText(std::size_t offset, const std::string& text) {
    const std::size_t length = std::min<std::size_t>(text.size(), is900::hostkit::CLogH::textSize - 1);
    std::memset(bytes + offset, 0, is900::hostkit::CLogH::textSize);
    std::memcpy(bytes + offset, text.data(), length);
}

void LoggerRecord::setNumber(std::size_t offset, int32_t value) { std::memcpy(bytes + offset, &value, sizeof value); }
