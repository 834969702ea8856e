#include "platform/serial.h"

#include <windows.h>

#include <cstring>

static_assert(sizeof(DCB) == sizeof(SerialControlBlock), "SerialControlBlock must match DCB");
static_assert(offsetof(DCB, BaudRate) == offsetof(SerialControlBlock, BaudRate), "DCB layout");
static_assert(offsetof(DCB, wReserved) == offsetof(SerialControlBlock, wReserved), "DCB layout");
static_assert(offsetof(DCB, XonLim) == offsetof(SerialControlBlock, XonLim), "DCB layout");
static_assert(offsetof(DCB, XoffLim) == offsetof(SerialControlBlock, XoffLim), "DCB layout");
static_assert(offsetof(DCB, ByteSize) == offsetof(SerialControlBlock, ByteSize), "DCB layout");
static_assert(offsetof(DCB, Parity) == offsetof(SerialControlBlock, Parity), "DCB layout");
static_assert(offsetof(DCB, StopBits) == offsetof(SerialControlBlock, StopBits), "DCB layout");
static_assert(offsetof(DCB, XonChar) == offsetof(SerialControlBlock, XonChar), "DCB layout");
static_assert(offsetof(DCB, EvtChar) == offsetof(SerialControlBlock, EvtChar), "DCB layout");
static_assert(offsetof(DCB, wReserved1) == offsetof(SerialControlBlock, wReserved1), "DCB layout");
static_assert(sizeof(COMMTIMEOUTS) == sizeof(SerialTimeouts), "SerialTimeouts must match COMMTIMEOUTS");
static_assert(offsetof(COMMTIMEOUTS, ReadTotalTimeoutConstant) ==
                  offsetof(SerialTimeouts, ReadTotalTimeoutConstant), "COMMTIMEOUTS layout");
static_assert(offsetof(COMMTIMEOUTS, WriteTotalTimeoutConstant) ==
                  offsetof(SerialTimeouts, WriteTotalTimeoutConstant), "COMMTIMEOUTS layout");
static_assert(platform::serialOddParity == ODDPARITY && platform::serialEvenParity == EVENPARITY &&
                  platform::serialTwoStopBits == TWOSTOPBITS && platform::serialLineControlEnable == DTR_CONTROL_ENABLE,
              "DCB values");

namespace platform {

SerialHandle invalidSerialHandle() { return INVALID_HANDLE_VALUE; }

SerialHandle openSerial(const char* name) {
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool getSerialControl(SerialHandle line, SerialControlBlock& control) {
    DCB state;
    std::memset(&state, 0, sizeof state);
    state.DCBlength = sizeof state;
    if (!GetCommState(line, &state)) return false;
    std::memcpy(&control, &state, sizeof control);
    return true;
}

bool getSerialTimeouts(SerialHandle line, SerialTimeouts& timeouts) {
    COMMTIMEOUTS state;
    if (!GetCommTimeouts(line, &state)) return false;
    std::memcpy(&timeouts, &state, sizeof timeouts);
    return true;
}

bool setSerialControl(SerialHandle line, const SerialControlBlock& control) {
    DCB state;
    std::memcpy(&state, &control, sizeof state);
    return SetCommState(line, &state) != 0;
}

bool setSerialTimeouts(SerialHandle line, const SerialTimeouts& timeouts) {
    COMMTIMEOUTS state;
    std::memcpy(&state, &timeouts, sizeof state);
    return SetCommTimeouts(line, &state) != 0;
}

bool writeSerial(SerialHandle line, const void* bytes, uint32_t length, uint32_t& written) {
    DWORD count = 0;
    BOOL ok = WriteFile(line, bytes, length, &count, nullptr);
    written = count;
    return ok != 0;
}

bool readSerial(SerialHandle line, void* buffer, uint32_t length, uint32_t& received) {
    DWORD count = 0;
    BOOL ok = ReadFile(line, buffer, length, &count, nullptr);
    received = count;
    return ok != 0;
}

// A USB-serial adapter's latency timer is a setting of its driver (Device
// Manager or the registry), beyond a program's reach: nothing to ask.
bool requestLowLatency(SerialHandle) { return true; }

bool discardSerialInput(SerialHandle line) { return PurgeComm(line, PURGE_RXCLEAR) != 0; }

bool closeSerial(SerialHandle line) { return CloseHandle(line) != 0; }

} // namespace platform
