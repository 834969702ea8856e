#include "host/config/LoggerRecord.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

LoggerRecord::LoggerRecord(const LoggerSettings& settings) {
    setFlag(offsetof(CLogH, showDate), settings.timestamps);
    setFlag(offsetof(CLogH, showTime), settings.timestamps);
    setFlag(offsetof(CLogH, showThreadId), settings.threadIds);
    setFlag(offsetof(CLogH, enabled), settings.enabled);
    setText(offsetof(CLogH, name), settings.name);
    setText(offsetof(CLogH, infoLabel), "INFO");
    setText(offsetof(CLogH, errorLabel), "ERROR");
    setText(offsetof(CLogH, warningLabel), "WARNING");
    setText(offsetof(CLogH, debugLabel), "DEBUG");
    setNumber(offsetof(CLogH, debugThreshold), 1);
    setNumber(offsetof(CLogH, debugLevel), settings.debugLevel);
    setNumber(offsetof(CLogH, debugGroup), 0);
}

void LoggerRecord::setFlag(std::size_t offset, bool value) { bytes[offset] = value ? 1 : 0; }

void LoggerRecord::setText(std::size_t offset, const std::string& text) {
    const std::size_t length = std::min<std::size_t>(text.size(), CLogH::textSize - 1);
    std::memset(bytes + offset, 0, CLogH::textSize);
    std::memcpy(bytes + offset, text.data(), length);
}

void LoggerRecord::setNumber(std::size_t offset, int32_t value) { std::memcpy(bytes + offset, &value, sizeof value); }
