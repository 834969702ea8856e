// The tracker's RS-232 port: opened exclusively, set up through a
// PortAttribute, read and written synchronously. The settings found at open
// are put back at close. Every operating-system failure is reported with the
// port's name and the system's text.
#pragma once

#include "platform/serial.h"

#include <cstdint>
#include <memory>

class CLogH;
class LineCapture;

class CRS232H {
public:
    static const int maxPathLength = 255;

    explicit CRS232H(const CLogH* hostLog = nullptr);
    ~CRS232H();
    CRS232H(const CRS232H&) = delete;
    CRS232H& operator=(const CRS232H&) = delete;

    bool openPort(const char* name);
    // Opens the port again by the name it had, after it was lost. The
    // settings found at the first open stay the ones closePort puts back.
    bool reopenPort();
    bool getAttribute(PortAttribute* attribute);
    // Applies the record, or currentAttribute when none is given.
    bool setAttribute(const PortAttribute* attribute = nullptr);
    bool presetAttribute(const PortAttribute* attribute);
    bool setBaudRate(int32_t rate);
    // Bytes written; fewer than length after a failure.
    uint32_t writeData(const void* bytes, uint32_t length);
    // Bytes read, 0 after the read time-out; -1 when the read failed (the
    // line is gone: a hang-up, a removed device, a closed port).
    int32_t readData(void* buffer, uint32_t length);
    bool closePort();
    // Drops what the line received and was not read yet.
    bool discardInput();
    // Forgets a line that is gone without putting settings back or reporting.
    void abandonPort();
    // While set, failures are reported at debug level only (a line that is
    // retried once a second must not flood the log).
    void reportFailuresAtDebug(bool quiet) { quietFailures = quiet; }
    bool failuresAtDebug() const { return quietFailures; }
    // From now on every byte read and written, every read time-out, a lost
    // line and a reopen go to the capture; closePort writes it out.
    void captureTo(std::unique_ptr<LineCapture> capture);

    const char* portName() const { return portPath; }
    bool isOpen() const { return portHandle != nullptr && portHandle != platform::invalidSerialHandle(); }
    const PortAttribute& current() const { return currentAttribute; }
    const PortAttribute& saved() const { return savedAttribute; }

private:
    bool open(const char* name, bool keepSaved);
    void report(const char* message) const;

    bool ownsLog;
    char portPath[maxPathLength + 1];
    platform::SerialHandle portHandle;
    PortAttribute savedAttribute;
    PortAttribute currentAttribute;
    CLogH* log;
    bool quietFailures;
    std::unique_ptr<LineCapture> capture;
};
