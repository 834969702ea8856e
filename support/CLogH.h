// Per-object console logger. A plain 516-byte record: hosts hand the plug-in
// one of their own, and every object works on a byte copy of it.
#pragma once

#include "hostkit/include/is900/hostkit/Records.h"
#include "support/HostRecord.h"

#include <cstdint>

class CLogH : public is900::hostkit::CLogH {
public:
    CLogH();
    CLogH(const CLogH& source) = default;
    CLogH& operator=(const CLogH&) = delete;

    void setName(const char* text);
    void setDebugThreshold(int32_t value) { debugThreshold = value; }
    void setDebugGroup(int32_t value) { debugGroup = value; }

    bool debugOn() const;

    void info(const char* text, bool newline) const;
    void error(const char* text, bool newline) const;
    void warning(const char* text, bool newline) const;
    void debug(const char* text, bool newline) const;
    void debugf(const char* format, ...) const
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

private:
    void writePrefix() const;
    void write(const char (&label)[textSize], const char* text, bool newline) const;
};

static_assert(sizeof(CLogH) == sizeof(is900::hostkit::CLogH), "CLogH adds no field to the host's record");
