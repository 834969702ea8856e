// Collects one IS-900 output record from the line: drops bytes up to the
// record's leading '0', then gathers bytes up to the closing CR LF. Bytes are
// read one at a time so that a call never consumes part of the next record.
#pragma once

#include <cstdint>

class CRS232H;
class CLogH;

struct RawRecord {
    static const uint32_t capacity = 512;
    // The binary output records' lengths, CR LF included: a controller's,
    // a tracker's, and one with both.
    static constexpr uint32_t controllerLength = 8;
    static constexpr uint32_t trackerLength = 29;
    static constexpr uint32_t combinedLength = 32;
    unsigned char bytes[capacity];
    uint32_t count;
};

enum class ReadOutcome {
    complete, // a record ending in CR LF, or a full buffer without one
    timedOut, // the line was silent; any partial record is dropped
    failed,   // the port reported a read failure
    stopped   // the run flag was cleared
};

class RecordReader {
public:
    RecordReader(CRS232H* port, const CLogH* log);

    // Reads the run flag before every byte and once after the record.
    ReadOutcome read(const int32_t* runFlag, RawRecord& record) const;

    // The host clears its flag from another thread: read afresh every time.
    static bool running(const int32_t* runFlag);
    // Station number as the record's digit gives it ('1' is 1).
    static int32_t station(const RawRecord& record);
    // The six little-endian floats that follow the header.
    static void decodePose(const RawRecord& record, float pose[6]);

private:
    int32_t readByte(unsigned char& byte) const;

    CRS232H* port;
    const CLogH* log;
};
