// Narrow serial-line interface. The settings records have exactly the layout
// of Windows' DCB and COMMTIMEOUTS on every platform, so the portable core
// names the same fields everywhere; the POSIX backend translates them to
// termios.
#pragma once

#include <cstddef>
#include <cstdint>

struct SerialControlBlock {
    uint32_t DCBlength;
    uint32_t BaudRate;
    uint32_t fBinary : 1;
    uint32_t fParity : 1;
    uint32_t fOutxCtsFlow : 1;
    uint32_t fOutxDsrFlow : 1;
    uint32_t fDtrControl : 2;
    uint32_t fDsrSensitivity : 1;
    uint32_t fTXContinueOnXoff : 1;
    uint32_t fOutX : 1;
    uint32_t fInX : 1;
    uint32_t fErrorChar : 1;
    uint32_t fNull : 1;
    uint32_t fRtsControl : 2;
    uint32_t fAbortOnError : 1;
    uint32_t fDummy2 : 17;
    uint16_t wReserved;
    uint16_t XonLim;
    uint16_t XoffLim;
    uint8_t ByteSize;
    uint8_t Parity;
    uint8_t StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    uint16_t wReserved1;
};

struct SerialTimeouts {
    uint32_t ReadIntervalTimeout;
    uint32_t ReadTotalTimeoutMultiplier;
    uint32_t ReadTotalTimeoutConstant;
    uint32_t WriteTotalTimeoutMultiplier;
    uint32_t WriteTotalTimeoutConstant;
};

// The port's settings record: line settings, then time-outs.
struct PortAttribute {
    SerialControlBlock dcb;
    SerialTimeouts timeouts;
};

static_assert(sizeof(SerialControlBlock) == 28, "SerialControlBlock layout");
static_assert(offsetof(SerialControlBlock, BaudRate) == 4, "SerialControlBlock layout");
static_assert(offsetof(SerialControlBlock, wReserved) == 12, "SerialControlBlock layout");
static_assert(offsetof(SerialControlBlock, XonLim) == 14, "SerialControlBlock layout");
static_assert(offsetof(SerialControlBlock, XoffLim) == 16, "SerialControlBlock layout");
static_assert(offsetof(SerialControlBlock, ByteSize) == 18, "SerialControlBlock layout");
static_assert(offsetof(SerialControlBlock, Parity) == 19, "SerialControlBlock layout");
static_assert(offsetof(SerialControlBlock, StopBits) == 20, "SerialControlBlock layout");
static_assert(offsetof(SerialControlBlock, XonChar) == 21, "SerialControlBlock layout");
static_assert(offsetof(SerialControlBlock, EvtChar) == 25, "SerialControlBlock layout");
static_assert(offsetof(SerialControlBlock, wReserved1) == 26, "SerialControlBlock layout");
static_assert(sizeof(SerialTimeouts) == 20, "SerialTimeouts layout");
static_assert(offsetof(SerialTimeouts, ReadTotalTimeoutConstant) == 8, "SerialTimeouts layout");
static_assert(offsetof(SerialTimeouts, WriteTotalTimeoutConstant) == 16, "SerialTimeouts layout");
static_assert(sizeof(PortAttribute) == 48, "PortAttribute layout");
static_assert(offsetof(PortAttribute, timeouts) == 28, "PortAttribute layout");

namespace platform {

// Values of the control block's enumerated fields, as Windows defines them.
const uint8_t serialNoParity = 0, serialOddParity = 1, serialEvenParity = 2;
const uint8_t serialOneStopBit = 0, serialTwoStopBits = 2;
const uint32_t serialLineControlDisable = 0, serialLineControlEnable = 1;

// An open serial line: a Windows HANDLE, or the POSIX backend's line object.
typedef void* SerialHandle;
SerialHandle invalidSerialHandle();

// Every call that fails leaves its cause for lastErrorText().
// openSerial opens the named line for exclusive, synchronous reading and
// writing without changing its settings; it returns invalidSerialHandle() on
// failure.
SerialHandle openSerial(const char* name);
bool getSerialControl(SerialHandle line, SerialControlBlock& control);
bool getSerialTimeouts(SerialHandle line, SerialTimeouts& timeouts);
bool setSerialControl(SerialHandle line, const SerialControlBlock& control);
bool setSerialTimeouts(SerialHandle line, const SerialTimeouts& timeouts);
// written / received get the number of bytes moved, also on failure.
bool writeSerial(SerialHandle line, const void* bytes, uint32_t length, uint32_t& written);
bool readSerial(SerialHandle line, void* buffer, uint32_t length, uint32_t& received);
// Asks the line's driver to pass received bytes on at once instead of
// gathering them first; closeSerial puts back the setting found. False where
// the driver refuses or has no such mode (a pseudo-terminal); true where
// there is nothing a program can ask (Windows, whose adapters keep their
// latency in the driver's own settings).
bool requestLowLatency(SerialHandle line);
// Drops every byte received and not yet read.
bool discardSerialInput(SerialHandle line);
// The handle is gone afterwards, also on failure.
bool closeSerial(SerialHandle line);

} // namespace platform
