#include "protocol/LineCapture.h"

#include "support/CLogH.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

namespace {

// Bytes that follow each other within this time belong to one chunk: a
// record the tracker sent at once stays one chunk, the next one starts anew.
const std::chrono::milliseconds chunkGap(2);
const std::chrono::seconds flushInterval(1);

void putLittleEndian(unsigned char* at, uint64_t value, int size) {
    for (int i = 0; i < size; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

void appendEscaped(std::string& field, const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    for (unsigned char c : text) {
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
      chunkKind(readBytes), lastKind(readBytes), chunkAt(0), chunkLength(0) {}

LineCapture::~LineCapture() {
    flush();
    if (file) std::fclose(file);
}

std::string LineCapture::header(const char* port, int32_t baudRate, uint32_t readTimeoutMs,
                                const std::vector<std::vector<std::string>>& optionLines) {
    std::string text = std::string(formatName) + "\t" + std::to_string(formatVersion) + "\tport=";
    appendEscaped(text, port ? port : "");
    text += "\tbaud=" + std::to_string(baudRate) + "\tread-timeout-ms=" + std::to_string(readTimeoutMs);
    for (const std::vector<std::string>& line : optionLines) {
        text += "\toption=";
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (i) text += ' ';
            appendEscaped(text, line[i]);
        }
    }
    return text + "\n";
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
    began = lastByteAt = clock.now();
    nextFlush = began + flushInterval;
    if (room(headerLine.size())) buffer.insert(buffer.end(), headerLine.begin(), headerLine.end());
    return true;
}

uint64_t LineCapture::microsecondsNow(DeviceClock::TimePoint now) const {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(now - began).count());
}

void LineCapture::bytes(Kind direction, const void* data, uint32_t count) {
    if (!file || count == 0) return;
    const DeviceClock::TimePoint now = clock.now();
    const auto* from = static_cast<const unsigned char*>(data);
    while (count > 0) {
        const bool newChunk = !chunkOpen || chunkKind != direction || now - lastByteAt > chunkGap ||
                              chunkLength == maxChunkBytes;
        const uint32_t part = std::min(count, newChunk ? maxChunkBytes : maxChunkBytes - chunkLength);
        if (!room(part + (newChunk ? chunkHeadSize : 0))) return;
        if (newChunk) startChunk(direction, now);
        buffer.insert(buffer.end(), from, from + part);
        chunkLength += part;
        from += part;
        count -= part;
    }
    lastByteAt = now;
    flushWhenDue(now);
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
