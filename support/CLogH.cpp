#include "support/CLogH.h"

#include "platform/platform.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>

namespace {

// Copies a text into a fixed slot, cut so that it stays NUL-terminated,
// with the rest of the slot NUL-padded.
void copyText(char (&slot)[CLogH::textSize], const char* text) {
    std::memset(slot, 0, sizeof slot);
    if (text) std::strncpy(slot, text, sizeof slot - 1);
}

// Writes a slot's text; a host's record may fill a slot without a NUL.
void writeSlot(const char (&slot)[CLogH::textSize]) {
    const void* end = std::memchr(slot, 0, sizeof slot);
    std::cout.write(slot, end ? static_cast<const char*>(end) - slot : sizeof slot);
}

} // namespace

CLogH::CLogH() : is900::hostkit::CLogH{true, true, true, true, {}, {}, {}, {}, {}, 1, 0, 0} {
    copyText(name, "MESSAGE");
    copyText(infoLabel, "INFO");
    copyText(errorLabel, "ERROR");
    copyText(warningLabel, "WARNING");
    copyText(debugLabel, "DEBUG");
}

void CLogH::setName(const char* text) { copyText(name, text); }

bool CLogH::debugOn() const {
    if (debugLevel == 0) return false;
    if (debugLevel == debugGroup) return true;
    return debugLevel >= debugThreshold;
}

void CLogH::info(const char* text, bool newline) const {
    if (enabled) write(infoLabel, text, newline);
}

void CLogH::error(const char* text, bool newline) const {
    if (enabled) write(errorLabel, text, newline);
}

void CLogH::warning(const char* text, bool newline) const {
    if (enabled) write(warningLabel, text, newline);
}

void CLogH::debug(const char* text, bool newline) const {
    if (enabled && debugOn()) write(debugLabel, text, newline);
}

void CLogH::debugf(const char* format, ...) const {
    if (!enabled) return;
    char buffer[256] = {};
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (!debugOn()) return;
    writePrefix();
    writeSlot(debugLabel);
    std::cout << ": " << buffer;
}

void CLogH::writePrefix() const {
    char format[16] = {};
    if (showDate) std::strcat(format, "%b %d ");
    if (showTime) std::strcat(format, "%X ");
    if (showDate || showTime) {
        char stamp[100] = {};
        std::time_t now = std::time(nullptr);
        const std::tm* local = std::localtime(&now);
        if (local) std::strftime(stamp, sizeof stamp, format, local);
        std::cout << stamp;
    }
    writeSlot(name);
    if (showThreadId)
        std::cout << "[" << platform::currentThreadId() << "]: ";
    else
        std::cout << ": ";
}

void CLogH::write(const char (&label)[textSize], const char* text, bool newline) const {
    writePrefix();
    writeSlot(label);
    std::cout << ": " << (text ? text : "");
    if (newline) std::cout << std::endl;
}
