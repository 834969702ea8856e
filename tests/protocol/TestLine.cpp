#include "TestLine.h"

#include "protocol/CRS232H.h"

#include <cstring>

PortAttribute trackerAttribute(uint32_t baudRate) {
    PortAttribute attribute;
    std::memset(&attribute, 0, sizeof attribute);
    attribute.dcb.BaudRate = baudRate;
    attribute.dcb.fBinary = 1;
    attribute.dcb.ByteSize = 8;
    attribute.timeouts.ReadTotalTimeoutConstant = 1000;
    return attribute;
}

bool setLineSpeed(const std::string& port, uint32_t baudRate) {
    platform::SerialHandle line = platform::openSerial(port.c_str());
    if (line == platform::invalidSerialHandle()) return false;
    PortAttribute attribute = trackerAttribute(baudRate);
    bool ok = platform::setSerialControl(line, attribute.dcb);
    return platform::closeSerial(line) && ok;
}

uint32_t lineSpeed(const std::string& port) {
    platform::SerialHandle line = platform::openSerial(port.c_str());
    if (line == platform::invalidSerialHandle()) return 0;
    SerialControlBlock control;
    bool ok = platform::getSerialControl(line, control);
    platform::closeSerial(line);
    return ok ? control.BaudRate : 0;
}

std::vector<Bytes> readRecords(CRS232H& port, std::size_t count) {
    std::vector<Bytes> records;
    Bytes record;
    uint8_t byte;
    while (records.size() < count && port.readData(&byte, 1) == 1) {
        if (record.empty() && byte != '0') continue;
        record.push_back(byte);
        if (record.size() >= 2 && record[record.size() - 2] == 0x0D && byte == 0x0A) {
            records.push_back(record);
            record.clear();
        }
    }
    return records;
}

float floatAt(const Bytes& record, std::size_t offset) {
    uint32_t bits = 0;
    for (int i = 3; i >= 0; --i) bits = bits << 8 | record[offset + static_cast<std::size_t>(i)];
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
