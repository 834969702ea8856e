// In-memory serial line: reads take the bytes a fuzz target set, writes are
// accepted and dropped, settings are kept as given.
#include "platform/serial.h"

#include "platform/memory/MemoryLine.h"

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

struct MemoryLine {
    SerialControlBlock control;
    SerialTimeouts timeouts;
};

struct LineInput {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    size_t position = 0;
    bool failAtEnd = false;
    bool failed = false;
    size_t openLines = 0;
};

LineInput input;

MemoryLine* lineOf(SerialHandle handle) {
    if (handle == nullptr || handle == invalidSerialHandle()) {
        errno = EBADF;
        return nullptr;
    }
    return static_cast<MemoryLine*>(handle);
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

} // namespace memory

SerialHandle invalidSerialHandle() { return reinterpret_cast<SerialHandle>(static_cast<intptr_t>(-1)); }

SerialHandle openSerial(const char* name) {
    if (name == nullptr || name[0] == '\0') {
        errno = ENOENT;
        return invalidSerialHandle();
    }
    MemoryLine* line = new MemoryLine();
    line->control.DCBlength = sizeof line->control;
    line->control.BaudRate = 9600;
    line->control.ByteSize = 8;
    ++input.openLines;
    return line;
}

bool getSerialControl(SerialHandle handle, SerialControlBlock& control) {
    MemoryLine* line = lineOf(handle);
    if (!line) return false;
    control = line->control;
    return true;
}

bool getSerialTimeouts(SerialHandle handle, SerialTimeouts& timeouts) {
    MemoryLine* line = lineOf(handle);
    if (!line) return false;
    timeouts = line->timeouts;
    return true;
}

bool setSerialControl(SerialHandle handle, const SerialControlBlock& control) {
    MemoryLine* line = lineOf(handle);
    if (!line) return false;
    line->control = control;
    return true;
}

bool setSerialTimeouts(SerialHandle handle, const SerialTimeouts& timeouts) {
    MemoryLine* line = lineOf(handle);
    if (!line) return false;
    line->timeouts = timeouts;
    return true;
}

bool writeSerial(SerialHandle handle, const void*, uint32_t length, uint32_t& written) {
    written = 0;
    if (!lineOf(handle)) return false;
    written = length;
    return true;
}

bool readSerial(SerialHandle handle, void* buffer, uint32_t length, uint32_t& received) {
    received = 0;
    if (!lineOf(handle)) return false;
    const size_t left = input.size - input.position;
    if (left == 0 && input.failAtEnd && length > 0) {
        input.failed = true;
        errno = EIO;
        return false;
    }
    received = static_cast<uint32_t>(left < length ? left : length);
    if (received > 0) std::memcpy(buffer, input.bytes + input.position, received);
    input.position += received;
    return true;
}

// A line in memory has no driver that could hold bytes back.
bool requestLowLatency(SerialHandle handle) { return lineOf(handle) != nullptr; }

bool closeSerial(SerialHandle handle) {
    MemoryLine* line = lineOf(handle);
    if (!line) return false;
    delete line;
    --input.openLines;
    return true;
}

} // namespace platform
