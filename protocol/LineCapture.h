// The tracker's line as it went, for a lab to send in and for the simulator
// to play back: every byte read and written, the read time-outs, a lost line
// and a reopen, each with the microseconds since the capture began. The
// thread that uses the line fills a buffer and writes it out at most once a
// second and at close; no thread and no lock of its own.
//
// Bytes read form one chunk up to a record's end (CR LF) or 1024 bytes,
// bytes written in a row one chunk; a change of direction, an event and a
// write-out end a chunk. File layout: one header line of tab-separated fields ending in LF, then
// chunks of a 13-byte head (kind, 8-byte time, 4-byte length, little-endian)
// and length bytes. Header fields outside printable ASCII, and '%', are
// written as %XX.
#pragma once

#include "support/DeviceClock.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class CLogH;

class LineCapture {
public:
    enum Kind : char {
        readBytes = 'R',    // bytes read from the tracker
        writtenBytes = 'W', // bytes written to the tracker
        timedOut = 'T',     // a read that got nothing within the read time-out
        lineLost = 'L',     // the line failed and was given up
        reopened = 'O'      // the line was opened again
    };
    static const char* const formatName; // "is900-capture"
    static const int formatVersion = 1;
    static const uint32_t chunkHeadSize = 13;
    // A reader takes a longer claim for damage.
    static const uint32_t maxChunkBytes = 65536;

    LineCapture(const CLogH* log, const DeviceClock& clock);
    ~LineCapture();
    LineCapture(const LineCapture&) = delete;
    LineCapture& operator=(const LineCapture&) = delete;

    // Creates the file and puts the header line (the text headerStart and
    // appendOptionField made, and LF) in the buffer. False with an error line
    // naming the path and the system's reason; no file is left.
    bool open(const char* path, uint64_t limitBytes, const std::string& header);
    void bytes(Kind direction, const void* data, uint32_t count);
    void event(Kind kind);
    // Writes the buffer out now (at close, at stop).
    void flush();
    bool active() const { return file != nullptr; }

    // "is900-capture\t1\tport=..\tbaud=..\tread-timeout-ms=.."
    static std::string headerStart(const char* port, int32_t baudRate, uint32_t readTimeoutMs);
    // "\toption=KEYWORD ARG ..": words[0] is the keyword.
    static void appendOptionField(std::string& header, const char* const* words, uint32_t count);

private:
    uint64_t microsecondsNow(DeviceClock::TimePoint now) const;
    bool beginChunk(Kind kind);
    void startChunk(Kind kind, DeviceClock::TimePoint now);
    void closeChunk();
    bool room(std::size_t more);
    void flushWhenDue(DeviceClock::TimePoint now);
    void end();

    const CLogH* log;
    DeviceClock clock;
    std::string path;
    std::FILE* file;
    std::vector<unsigned char> buffer;
    uint64_t limit;
    uint64_t fileBytes;
    bool chunkOpen;
    Kind chunkKind;
    Kind lastKind;
    std::size_t chunkAt;
    uint32_t chunkLength;
    unsigned char previousByte;
    DeviceClock::TimePoint began;
    DeviceClock::TimePoint nextFlush;
};
