#include "TestLine.h"

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
