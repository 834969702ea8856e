// The logger record the host hands to createDev. The host fills the 516 bytes
// itself: every object of the plug-in starts from a copy of them.
#pragma once

#include "is900/hostkit/Records.h"

#include <cstdint>
#include <string>

struct LoggerSettings {
    std::string name = "is900";
    bool enabled = true;
    bool timestamps = false;
    bool threadIds = false;
    int32_t debugLevel = 0;
};

class LoggerRecord {
public:
    explicit LoggerRecord(const LoggerSettings& settings);

    // The record as the plug-in reads it; the host never calls its operations.
    is900::hostkit::CLogH* get() { return reinterpret_cast<is900::hostkit::CLogH*>(bytes); }
    const unsigned char* data() const { return bytes; }

private:
    void setFlag(std::size_t offset, bool value);
    void setText(std::size_t offset, const std::string& text);
    void setNumber(std::size_t offset, int32_t value);

    alignas(is900::hostkit::CLogH) unsigned char bytes[sizeof(is900::hostkit::CLogH)] = {};
};
