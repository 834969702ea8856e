// In-memory serial line: reads take the bytes a fuzz target set, or what a
// test's peer answers; writes go to the peer or are dropped. Settings stay
// with the line's name across opens, as with a real port.
#include "platform/serial.h"

#include "platform/memory/MemoryLine.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <string>

namespace platform {

namespace {

struct LineSettings {
    SerialControlBlock control;
    SerialTimeouts timeouts;
};

struct MemoryLine {
    LineSettings* settings;
};

struct LineInput {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    size_t position = 0;
    bool failAtEnd = false;
    bool failed = false;
    size_t openLines = 0;
    size_t openedLines = 0;
    memory::LinePeer* peer = nullptr;
    bool failSettings = false;
    bool failWrites = false;
    bool failReads = false;
    std::map<std::string, LineSettings> lines;
};

LineInput input;

MemoryLine* lineOf(SerialHandle handle) {
    if (handle == nullptr || handle == invalidSerialHandle()) {
        errno = EBADF;
        return nullptr;
    }
    return static_cast<MemoryLine*>(handle);
}

LineSettings& settingsOf(const char* name) {
    auto found = input.lines.find(name);
    if (found != input.lines.end()) return found->second;
    LineSettings& settings = input.lines[name];
    std::memset(&settings, 0, sizeof settings);
    settings.control.DCBlength = sizeof settings.control;
    settings.control.BaudRate = 9600;
    settings.control.ByteSize = 8;
    return settings;
}

// A line that refuses its settings, as a driver that rejects them.
bool settingsRefused() {
    if (input.failSettings) errno = EINVAL;
    return input.failSettings;
}

size_t readFixedInput(void* buffer, uint32_t length) {
    const size_t left = input.size - input.position;
    const size_t count = left < length ? left : length;
    if (count > 0) std::memcpy(buffer, input.bytes + input.position, count);
    input.position += count;
    return count;
}

} // namespace

namespace memory {

void setLineInput(const uint8_t* bytes, size_t size, bool failAtEnd) {
    input.bytes = bytes;
    input.size = size;
    input.position = 0;
    input.failAtEnd = failAtEnd;
    input.failed = false;
}

size_t lineReadPosition() { return input.position; }
bool lineFailed() { return input.failed; }
size_t openLineCount() { return input.openLines; }
size_t openedLineCount() { return input.openedLines; }
void setLinePeer(LinePeer* peer) { input.peer = peer; }
void failSettings(bool fail) { input.failSettings = fail; }
void failWrites(bool fail) { input.failWrites = fail; }
void failReads(bool fail) { input.failReads = fail; }
SerialControlBlock lineControl(const char* name) { return settingsOf(name).control; }
void replaceLine(const char* name) { input.lines.erase(name); }

} // namespace memory

SerialHandle invalidSerialHandle() { return reinterpret_cast<SerialHandle>(static_cast<intptr_t>(-1)); }

SerialHandle openSerial(const char* name) {
    if (name == nullptr || name[0] == '\0') {
        errno = ENOENT;
        return invalidSerialHandle();
    }
    MemoryLine* line = new MemoryLine{&settingsOf(name)};
    ++input.openLines;
    ++input.openedLines;
    return line;
}

bool getSerialControl(SerialHandle handle, SerialControlBlock& control) {
    MemoryLine* line = lineOf(handle);
    if (!line) return false;
    control = line->settings->control;
    return true;
}

bool getSerialTimeouts(SerialHandle handle, SerialTimeouts& timeouts) {
    MemoryLine* line = lineOf(handle);
    if (!line) return false;
    timeouts = line->settings->timeouts;
    return true;
}

bool setSerialControl(SerialHandle handle, const SerialControlBlock& control) {
    MemoryLine* line = lineOf(handle);
    if (!line || settingsRefused()) return false;
    line->settings->control = control;
    return true;
}

bool setSerialTimeouts(SerialHandle handle, const SerialTimeouts& timeouts) {
    MemoryLine* line = lineOf(handle);
    if (!line || settingsRefused()) return false;
    line->settings->timeouts = timeouts;
    return true;
}

bool writeSerial(SerialHandle handle, const void* bytes, uint32_t length, uint32_t& written) {
    written = 0;
    if (!lineOf(handle)) return false;
    if (input.failWrites) {
        errno = EIO;
        return false;
    }
    if (input.peer) input.peer->written(static_cast<const uint8_t*>(bytes), length);
    written = length;
    return true;
}

bool readSerial(SerialHandle handle, void* buffer, uint32_t length, uint32_t& received) {
    received = 0;
    MemoryLine* line = lineOf(handle);
    if (!line) return false;
    if (input.failReads) {
        errno = EIO;
        return false;
    }
    if (input.peer) {
        received = static_cast<uint32_t>(input.peer->read(static_cast<uint8_t*>(buffer), length,
                                                          line->settings->timeouts.ReadTotalTimeoutConstant));
        return true;
    }
    if (input.position == input.size && input.failAtEnd && length > 0) {
        input.failed = true;
        errno = EIO;
        return false;
    }
    received = static_cast<uint32_t>(readFixedInput(buffer, length));
    return true;
}

// A line in memory has no driver that could hold bytes back.
bool requestLowLatency(SerialHandle handle) { return lineOf(handle) != nullptr; }

bool discardSerialInput(SerialHandle handle) {
    if (!lineOf(handle)) return false;
    if (input.peer) input.peer->discard();
    return true;
}

bool closeSerial(SerialHandle handle) {
    MemoryLine* line = lineOf(handle);
    if (!line) return false;
    delete line;
    --input.openLines;
    return true;
}

} // namespace platform
