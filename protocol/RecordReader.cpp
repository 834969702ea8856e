#include "protocol/RecordReader.h"

#include "protocol/CRS232H.h"
#include "support/CLogH.h"

#include <cstring>

namespace {

const unsigned char recordStart = '0';
const uint32_t headerSize = 3;

bool endsWithCrLf(const RawRecord& record) {
    return record.count >= 2 && record.bytes[record.count - 1] == 0x0A && record.bytes[record.count - 2] == 0x0D;
}

float littleEndianFloat(const unsigned char* bytes) {
    const uint32_t bits = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                          static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

// An atomic load, so that the read never races with the host's store.
bool RecordReader::running(const int32_t* runFlag) { return __atomic_load_n(runFlag, __ATOMIC_RELAXED) != 0; }

RecordReader::RecordReader(CRS232H* serialPort, const CLogH* logger) : port(serialPort), log(logger) {}

int32_t RecordReader::readByte(unsigned char& byte) const {
    const int32_t got = port->readData(&byte, 1);
    if (got < 0 && port->failuresAtDebug()) log->debug("CISX00: Reading error occured.", true);
    else if (got < 0) log->error("CISX00: Reading error occured.", true);
    return got;
}

ReadOutcome RecordReader::read(const int32_t* runFlag, RawRecord& record) const {
    record.count = 0;
    unsigned char byte = 0;
    bool started = false;
    while (!started && running(runFlag)) {
        const int32_t got = readByte(byte);
        if (got == 0) return ReadOutcome::timedOut;
        if (got < 0) return ReadOutcome::failed;
        started = byte == recordStart;
    }
    if (started) {
        record.bytes[record.count++] = byte;
        while (running(runFlag) && record.count < RawRecord::capacity) {
            const int32_t got = readByte(byte);
            if (got == 0) return ReadOutcome::timedOut;
            if (got < 0) return ReadOutcome::failed;
            record.bytes[record.count++] = byte;
            if (endsWithCrLf(record)) {
                log->debug("CISX00: EOL received.", true);
                break;
            }
        }
    }
    return running(runFlag) ? ReadOutcome::complete : ReadOutcome::stopped;
}

int32_t RecordReader::station(const RawRecord& record) {
    return record.count > 1 ? static_cast<int32_t>(record.bytes[1]) - '0' : -'0';
}

void RecordReader::decodePose(const RawRecord& record, float pose[6]) {
    for (int i = 0; i < 6; ++i) pose[i] = littleEndianFloat(record.bytes + headerSize + 4 * i);
}
