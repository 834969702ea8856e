#include "protocol/CRS232H.h"

#include "platform/platform.h"
#include "protocol/LineCapture.h"
#include "support/CLogH.h"

#include <cstring>
#include <iostream>
#include <string>

namespace {

CLogH* makeLog(const CLogH* hostLog) {
    CLogH* log = hostLog ? new CLogH(*hostLog) : new CLogH();
    if (!hostLog) {
        log->setName("CRS232H");
        log->setDebugThreshold(4);
    }
    log->setDebugGroup(3);
    return log;
}

bool supportedBaudRate(int32_t rate) {
    const int32_t rates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    for (int32_t supported : rates)
        if (rate == supported) return true;
    return false;
}

} // namespace

CRS232H::CRS232H(const CLogH* hostLog)
    : ownsLog(true), portHandle(nullptr), log(makeLog(hostLog)), quietFailures(false) {
    std::memset(portPath, 0, sizeof portPath);
    std::memset(&savedAttribute, 0, sizeof savedAttribute);
    std::memset(&currentAttribute, 0, sizeof currentAttribute);
    log->debug("CRS232H: \"constructor\" called.", true);
}

CRS232H::~CRS232H() {
    log->debug("CRS232H: \"destructor\" called.", true);
    if (portHandle != nullptr) closePort();
    if (ownsLog) delete log;
}

void CRS232H::report(const char* message) const {
    const std::string reason = platform::lastErrorText();
    if (quietFailures) {
        if (!log->enabled || !log->debugOn()) return;
        log->debug(message, false);
    } else {
        log->error(message, false);
    }
    std::cout << portPath << ": " << reason << std::endl;
}

bool CRS232H::openPort(const char* name) {
    log->debug("CRS232H: \"openPort\" called.", true);
    return open(name, false);
}

bool CRS232H::reopenPort() {
    log->debug("CRS232H: \"reopenPort\" called.", true);
    char name[maxPathLength + 1];
    std::memcpy(name, portPath, sizeof name);
    return open(name, true);
}

bool CRS232H::open(const char* name, bool keepSaved) {
    if (isOpen()) {
        log->error("CRS232H: Port is already open.", true);
        return false;
    }
    if (!name) name = "";
    const size_t length = std::strlen(name);
    if (length > static_cast<size_t>(maxPathLength)) {
        log->error("CRS232H: Port name is too long. ", false);
        std::cout << maxPathLength << length << std::endl;
        return false;
    }
    std::memcpy(portPath, name, length + 1);
    log->debugf("CRS232H: Opening %s.\n", portPath);
    portHandle = platform::openSerial(portPath);
    if (portHandle == platform::invalidSerialHandle()) {
        report("CRS232H: Opening port ");
        return false;
    }
    getAttribute(&currentAttribute);
    if (!keepSaved) getAttribute(&savedAttribute);
    if (keepSaved && capture) capture->event(LineCapture::reopened);
    if (!platform::requestLowLatency(portHandle))
        log->debugf("CRS232H: No low-latency mode on %s: %s\n", portPath, platform::lastErrorText().c_str());
    return true;
}

bool CRS232H::getAttribute(PortAttribute* attribute) {
    if (!attribute) return false;
    if (!platform::getSerialControl(portHandle, attribute->dcb)) {
        report("CRS232H: Getting attribute(DCB) from ");
        return false;
    }
    if (!platform::getSerialTimeouts(portHandle, attribute->timeouts)) {
        report("CRS232H: Getting attribute(COMMTIMEOUTS) from ");
        return false;
    }
    return true;
}

bool CRS232H::setAttribute(const PortAttribute* attribute) {
    const PortAttribute& applied = attribute ? *attribute : currentAttribute;
    if (!platform::setSerialControl(portHandle, applied.dcb)) {
        report("CRS232H: Setting attribute(DCB) to ");
        return false;
    }
    if (!platform::setSerialTimeouts(portHandle, applied.timeouts)) {
        report("CRS232H: Setting attribute(COMMTIMEOUTS) to ");
        return false;
    }
    if (attribute) std::memmove(&currentAttribute, attribute, sizeof currentAttribute);
    return true;
}

bool CRS232H::presetAttribute(const PortAttribute* attribute) {
    if (!attribute) return false;
    std::memmove(&currentAttribute, attribute, sizeof currentAttribute);
    return true;
}

bool CRS232H::setBaudRate(int32_t rate) {
    if (!supportedBaudRate(rate)) {
        log->error("CRS232H: Could not set the baud rate ", false);
        std::cout << rate << std::endl;
        return false;
    }
    currentAttribute.dcb.BaudRate = static_cast<uint32_t>(rate);
    return true;
}

uint32_t CRS232H::writeData(const void* bytes, uint32_t length) {
    uint32_t written = 0;
    const bool ok = platform::writeSerial(portHandle, bytes, length, written);
    if (capture) capture->bytes(LineCapture::writtenBytes, bytes, written);
    if (!ok) report("CRS232H: Writing to ");
    return written;
}

int32_t CRS232H::readData(void* buffer, uint32_t length) {
    uint32_t received = 0;
    const bool ok = platform::readSerial(portHandle, buffer, length, received);
    if (capture) {
        capture->bytes(LineCapture::readBytes, buffer, received);
        if (ok && received == 0) capture->event(LineCapture::timedOut);
        if (!ok && received == 0) capture->event(LineCapture::lineLost);
    }
    if (ok) return static_cast<int32_t>(received);
    report("CRS232H: Reading from ");
    return received > 0 ? static_cast<int32_t>(received) : -1;
}

bool CRS232H::closePort() {
    if (capture) capture->flush();
    if (!isOpen()) return false;
    bool ok = setAttribute(&savedAttribute);
    if (!platform::closeSerial(portHandle)) {
        report("CRS232H: Closing port ");
        ok = false;
    }
    portHandle = nullptr;
    return ok;
}

bool CRS232H::discardInput() { return platform::discardSerialInput(portHandle); }

void CRS232H::captureTo(std::unique_ptr<LineCapture> lineCapture) { capture = std::move(lineCapture); }

void CRS232H::abandonPort() {
    if (isOpen() && capture) capture->event(LineCapture::lineLost);
    if (isOpen()) platform::closeSerial(portHandle);
    portHandle = nullptr;
}
