// Per-object console logger. A plain 516-byte record: hosts hand the plug-in
// one of their own, and every object works on a byte copy of it.
#pragma once

#include <cstddef>
#include <cstdint>

class CLogH {
public:
    static const int textSize = 100;

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

    bool showDate;
    bool showTime;
    bool showThreadId;
    bool enabled;
    char name[textSize];
    char infoLabel[textSize];
    char errorLabel[textSize];
    char warningLabel[textSize];
    char debugLabel[textSize];
    int32_t debugThreshold;
    int32_t debugLevel;
    int32_t debugGroup;

private:
    void writePrefix() const;
    void write(const char (&label)[textSize], const char* text, bool newline) const;
};

static_assert(sizeof(CLogH) == 516, "CLogH is a 516-byte host record");
static_assert(offsetof(CLogH, showDate) == 0, "CLogH layout");
static_assert(offsetof(CLogH, showTime) == 1, "CLogH layout");
static_assert(offsetof(CLogH, showThreadId) == 2, "CLogH layout");
static_assert(offsetof(CLogH, enabled) == 3, "CLogH layout");
static_assert(offsetof(CLogH, name) == 4, "CLogH layout");
static_assert(offsetof(CLogH, infoLabel) == 104, "CLogH layout");
static_assert(offsetof(CLogH, errorLabel) == 204, "CLogH layout");
static_assert(offsetof(CLogH, warningLabel) == 304, "CLogH layout");
static_assert(offsetof(CLogH, debugLabel) == 404, "CLogH layout");
static_assert(offsetof(CLogH, debugThreshold) == 504, "CLogH layout");
static_assert(offsetof(CLogH, debugLevel) == 508, "CLogH layout");
static_assert(offsetof(CLogH, debugGroup) == 512, "CLogH layout");
