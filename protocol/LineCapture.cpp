#include "protocol/LineCapture.h"

#include "support/CLogH.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

namespace {

// A run of bytes without a record's end is split here, so that its timing
// is kept too (a tracker at the wrong rate sends no CR LF).
const uint32_t maxRunBytes = 1024;
const std::chrono::seconds flushInterval(1);

void putLittleEndian(unsigned char* at, uint64_t value, int size) {
    for (int i = 0; i < size; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

void appendEscaped(std::string& field, const char* text) {
    static const char hex[] = "0123456789ABCDEF";
    for (; *text; ++text) {
        const unsigned char c = static_cast<unsigned char>(*text);
        if (c > 0x20 && c < 0x7F && c != '%') {
            field += static_cast<char>(c);
        } else {
            field += '%';
            field += hex[c >> 4];
            field += hex[c & 15];
        }
    }
}

} // namespace

const char* const LineCapture::formatName = "is900-capture";

LineCapture::LineCapture(const CLogH* logger, const DeviceClock& deviceClock)
    : log(logger), clock(deviceClock), file(nullptr), limit(0), fileBytes(0), chunkOpen(false),
      chunkKind(readBytes), lastKind(readBytes), chunkAt(0), chunkLength(0), previousByte(0) {}

LineCapture::~LineCapture() {
    flush();
    if (file) std::fclose(file);
}

// Numbers without std::to_string, whose instantiation the plug-in would export.
std::string LineCapture::headerStart(const char* port, int32_t baudRate, uint32_t readTimeoutMs) {
    char start[64], numbers[64];
    std::snprintf(start, sizeof start, "%s\t%d\tport=", formatName, formatVersion);
    std::snprintf(numbers, sizeof numbers, "\tbaud=%ld\tread-timeout-ms=%lu", static_cast<long>(baudRate),
                  static_cast<unsigned long>(readTimeoutMs));
    std::string text = start;
    appendEscaped(text, port ? port : "");
    return text + numbers;
}

void LineCapture::appendOptionField(std::string& header, const char* const* words, uint32_t count) {
    header += "\toption=";
    for (uint32_t i = 0; i < count; ++i) {
        if (i) header += ' ';
        appendEscaped(header, words[i] ? words[i] : "");
    }
}

bool LineCapture::open(const char* filePath, uint64_t limitBytes, const std::string& headerLine) {
    path = filePath ? filePath : "";
    file = std::fopen(path.c_str(), "wb");
    if (!file) {
        log->error("LineCapture: Cannot create the capture file ", false);
        std::cout << path << ": " << std::strerror(errno) << std::endl;
        return false;
    }
    limit = limitBytes;
    fileBytes = 0;
    buffer.clear();
    buffer.reserve(64 * 1024);
    began = clock.now();
    nextFlush = began + flushInterval;
    if (room(headerLine.size() + 1)) {
        buffer.insert(buffer.end(), headerLine.begin(), headerLine.end());
        buffer.push_back('\n');
    }
    return true;
}

uint64_t LineCapture::microsecondsNow(DeviceClock::TimePoint now) const {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(now - began).count());
}

// The clock is read once a chunk, not once a byte: the device reads one
// byte at a time, and a time stamp per byte would cost more than the rest.
void LineCapture::bytes(Kind direction, const void* data, uint32_t count) {
    const auto* from = static_cast<const unsigned char*>(data);
    for (uint32_t i = 0; i < count && file; ++i) {
        if ((!chunkOpen || chunkKind != direction) && !beginChunk(direction)) return;
        if (fileBytes + buffer.size() + 1 > limit && !room(1)) return;
        buffer.push_back(from[i]);
        ++chunkLength;
        const bool recordEnd = direction == readBytes && from[i] == '\n' && previousByte == '\r';
        previousByte = from[i];
        if (recordEnd || chunkLength == maxRunBytes) closeChunk();
    }
}

bool LineCapture::beginChunk(Kind kind) {
    const DeviceClock::TimePoint now = clock.now();
    flushWhenDue(now);
    if (!file || !room(chunkHeadSize + 1)) return false;
    startChunk(kind, now);
    return true;
}

void LineCapture::event(Kind kind) {
    if (!file || (kind == lineLost && lastKind == lineLost)) return;
    const DeviceClock::TimePoint now = clock.now();
    if (!room(chunkHeadSize)) return;
    startChunk(kind, now);
    closeChunk();
    flushWhenDue(now);
}

void LineCapture::startChunk(Kind kind, DeviceClock::TimePoint now) {
    closeChunk();
    chunkAt = buffer.size();
    buffer.resize(chunkAt + chunkHeadSize);
    buffer[chunkAt] = static_cast<unsigned char>(kind);
    putLittleEndian(&buffer[chunkAt + 1], microsecondsNow(now), 8);
    chunkOpen = true;
    chunkKind = lastKind = kind;
    chunkLength = 0;
}

void LineCapture::closeChunk() {
    if (!chunkOpen) return;
    putLittleEndian(&buffer[chunkAt + 9], chunkLength, 4);
    chunkOpen = false;
}

// False, and the capture ends with a warning, when the file would grow past its limit.
bool LineCapture::room(std::size_t more) {
    if (fileBytes + buffer.size() + more <= limit) return true;
    log->warning("LineCapture: The capture file ", false);
    std::cout << path << " reached its limit of " << limit / (1024 * 1024) << " MiB; capture ended." << std::endl;
    end();
    return false;
}

void LineCapture::flushWhenDue(DeviceClock::TimePoint now) {
    if (now < nextFlush) return;
    flush();
    nextFlush = now + flushInterval;
}

void LineCapture::flush() {
    if (!file) return;
    closeChunk();
    if (buffer.empty()) return;
    const bool written = std::fwrite(buffer.data(), 1, buffer.size(), file) == buffer.size() && std::fflush(file) == 0;
    if (!written) {
        log->error("LineCapture: Writing the capture file ", false);
        std::cout << path << " failed: " << std::strerror(errno) << "; capture ended." << std::endl;
        std::fclose(file);
        file = nullptr;
        buffer.clear();
        return;
    }
    fileBytes += buffer.size();
    buffer.clear();
}

// Writes out what fits and stops capturing.
void LineCapture::end() {
    flush();
    if (file) std::fclose(file);
    file = nullptr;
}
