// Reading a capture of the tracker's line as the plug-in writes it (its
// "capture" option): the header's port, rate, read time-out and option
// lines, then the chunks in order. Damage is refused with its byte offset.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace is900sim {

struct CaptureChunk {
    char kind = 'R'; // 'R' read from the tracker, 'W' written to it, 'T' read time-out, 'L' line lost, 'O' reopened
    uint64_t micros = 0;
    uint64_t offset = 0; // of the chunk's head in the file
    std::vector<uint8_t> bytes;
};

struct Capture {
    static const int formatVersion = 1;
    std::string port;
    int baudRate = 0;
    unsigned long readTimeoutMs = 1000;
    std::vector<std::vector<std::string>> optionLines; // keyword first, then the arguments
    std::vector<CaptureChunk> chunks;
    // The last chunk ends before the bytes it claims (the writer was killed);
    // it holds what the file has.
    bool lastChunkCutShort = false;
    uint64_t cutShortOffset = 0;
};

class CaptureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

Capture parseCapture(const std::string& bytes, const std::string& name);
Capture readCapture(const std::string& path);

} // namespace is900sim
