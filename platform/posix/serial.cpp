#include "platform/serial.h"

#include "platform/posix/serialdriver.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace platform {

namespace {

struct SerialLine {
    int fd;
    termios original;
    int originalModemLines;
    bool hasModemLines;
    SerialControlBlock originalControl;
    SerialTimeouts timeouts;
    // Bytes the line delivered beyond what a read asked for; the tracker is
    // read one byte a call, and taking what is there at once saves a pair of
    // system calls per byte.
    unsigned char pending[256];
    size_t pendingStart;
    size_t pendingEnd;
    // The driver's settings before low-latency mode was asked for; put back at close.
    serial_struct driverSettings;
    bool driverSettingsChanged;
};

int getDriverSettings(int fd, serial_struct& settings) { return ioctl(fd, TIOCGSERIAL, &settings); }
int setDriverSettings(int fd, const serial_struct& settings) { return ioctl(fd, TIOCSSERIAL, &settings); }

SerialLine* lineOf(SerialHandle handle) {
    if (handle == nullptr || handle == invalidSerialHandle()) {
        errno = EBADF;
        return nullptr;
    }
    return static_cast<SerialLine*>(handle);
}

struct BaudSpeed {
    uint32_t baud;
    speed_t speed;
};

const BaudSpeed baudSpeeds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400},
};

bool speedOfBaud(uint32_t baud, speed_t& speed) {
    for (const BaudSpeed& entry : baudSpeeds)
        if (entry.baud == baud) {
            speed = entry.speed;
            return true;
        }
    return false;
}

uint32_t baudOfSpeed(speed_t speed) {
    for (const BaudSpeed& entry : baudSpeeds)
        if (entry.speed == speed) return entry.baud;
    return 0;
}

bool startsWithCom(const char* name) {
    return (name[0] == 'c' || name[0] == 'C') && (name[1] == 'o' || name[1] == 'O') &&
           (name[2] == 'm' || name[2] == 'M');
}

// "comN" names the N-th serial line, /dev/ttyS<N-1>; a name with a slash is a
// path; any other name is a device in /dev.
std::string devicePath(const char* name) {
    std::string text = name;
    if (text.find('/') != std::string::npos) return text;
    if (text.size() > 3 && text.size() < 12 && startsWithCom(name) &&
        text.find_first_not_of("0123456789", 3) == std::string::npos) {
        unsigned long number = std::stoul(text.substr(3));
        if (number >= 1) return "/dev/ttyS" + std::to_string(number - 1);
    }
    return "/dev/" + text;
}

bool raw(const termios& settings) {
    return (settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0 && (settings.c_oflag & OPOST) == 0 &&
           (settings.c_iflag & (ISTRIP | INLCR | IGNCR | ICRNL | IGNBRK | BRKINT | PARMRK)) == 0;
}

uint8_t byteSizeOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
    case CS5: return 5;
    case CS6: return 6;
    case CS7: return 7;
    default: return 8;
    }
}

bool sizeFlagOf(uint8_t byteSize, tcflag_t& flag) {
    const tcflag_t flags[] = {CS5, CS6, CS7, CS8};
    if (byteSize < 5 || byteSize > 8) return false;
    flag = flags[byteSize - 5];
    return true;
}

uint8_t parityOf(tcflag_t cflag) {
    if ((cflag & PARENB) == 0) return serialNoParity;
    return (cflag & PARODD) ? serialOddParity : serialEvenParity;
}

// Modem-control ioctls fail on lines without modem lines (pseudo-terminals).
bool noModemLines(int error) { return error == ENOTTY || error == EINVAL; }

SerialControlBlock controlOf(const termios& settings, int modemLines, bool hasModemLines) {
    SerialControlBlock control;
    std::memset(&control, 0, sizeof control);
    control.DCBlength = sizeof control;
    control.BaudRate = baudOfSpeed(cfgetospeed(&settings));
    control.fBinary = raw(settings) ? 1 : 0;
    control.fParity = (settings.c_iflag & INPCK) ? 1 : 0;
    control.fOutxCtsFlow = (settings.c_cflag & CRTSCTS) ? 1 : 0;
    control.fOutX = (settings.c_iflag & IXON) ? 1 : 0;
    control.fInX = (settings.c_iflag & IXOFF) ? 1 : 0;
    if (hasModemLines) {
        control.fDtrControl = (modemLines & TIOCM_DTR) ? serialLineControlEnable : serialLineControlDisable;
        control.fRtsControl = (modemLines & TIOCM_RTS) ? serialLineControlEnable : serialLineControlDisable;
    }
    control.ByteSize = byteSizeOf(settings.c_cflag);
    control.Parity = parityOf(settings.c_cflag);
    control.StopBits = (settings.c_cflag & CSTOPB) ? serialTwoStopBits : serialOneStopBit;
    control.XonChar = static_cast<char>(settings.c_cc[VSTART]);
    control.XoffChar = static_cast<char>(settings.c_cc[VSTOP]);
    return control;
}

bool readModemLines(int fd, int& lines, bool& present) {
    present = ioctl(fd, TIOCMGET, &lines) == 0;
    return present || noModemLines(errno);
}

bool setModemLine(int fd, int line, bool on) {
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0) return true;
    return noModemLines(errno);
}

bool applyModemLines(const SerialLine& line, const SerialControlBlock& control) {
    if (!line.hasModemLines) return true;
    return setModemLine(line.fd, TIOCM_DTR, control.fDtrControl == serialLineControlEnable) &&
           setModemLine(line.fd, TIOCM_RTS, control.fRtsControl == serialLineControlEnable);
}

// Raw transfer of the given frame, receiver on, modem-status lines ignored;
// flow control only where the record asks for it.
bool settingsOf(const SerialControlBlock& control, termios& settings) {
    speed_t speed;
    tcflag_t sizeFlag;
    if (!speedOfBaud(control.BaudRate, speed) || !sizeFlagOf(control.ByteSize, sizeFlag) ||
        control.Parity > serialEvenParity || (control.StopBits != serialOneStopBit && control.StopBits != serialTwoStopBits)) {
        errno = EINVAL;
        return false;
    }
    cfmakeraw(&settings);
    settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    settings.c_cflag |= sizeFlag | CREAD | CLOCAL;
    if (control.Parity != serialNoParity) settings.c_cflag |= PARENB;
    if (control.Parity == serialOddParity) settings.c_cflag |= PARODD;
    if (control.StopBits == serialTwoStopBits) settings.c_cflag |= CSTOPB;
    if (control.fOutxCtsFlow) settings.c_cflag |= CRTSCTS;
    settings.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    if (control.fParity) settings.c_iflag |= INPCK;
    if (control.fOutX) settings.c_iflag |= IXON;
    if (control.fInX) settings.c_iflag |= IXOFF;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    return cfsetispeed(&settings, speed) == 0 && cfsetospeed(&settings, speed) == 0;
}

bool sameControl(const SerialControlBlock& left, const SerialControlBlock& right) {
    return std::memcmp(&left, &right, sizeof left) == 0;
}

long millisecondsUntil(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<long>(left.count()) : 0;
}

// How long to wait for the next byte, in the manner of COMMTIMEOUTS:
// -1 for no limit.
long readWait(const SerialTimeouts& timeouts, bool totalLimited, std::chrono::steady_clock::time_point deadline,
              uint32_t received) {
    const uint32_t noWait = 0xFFFFFFFFu;
    if (timeouts.ReadIntervalTimeout == noWait && !totalLimited) return 0;
    long wait = totalLimited ? millisecondsUntil(deadline) : -1;
    if (received > 0 && timeouts.ReadIntervalTimeout != 0 && timeouts.ReadIntervalTimeout != noWait) {
        long interval = static_cast<long>(timeouts.ReadIntervalTimeout);
        if (wait < 0 || interval < wait) wait = interval;
    }
    return wait;
}

uint32_t takePending(SerialLine& line, char* buffer, uint32_t length) {
    const size_t count = std::min<size_t>(length, line.pendingEnd - line.pendingStart);
    std::memcpy(buffer, line.pending + line.pendingStart, count);
    line.pendingStart += count;
    return static_cast<uint32_t>(count);
}

// Waits for input; false with errno set on failure, ready false on time-out.
bool waitForInput(int fd, long milliseconds, bool& ready) {
    pollfd entry{fd, POLLIN, 0};
    int result;
    do {
        result = poll(&entry, 1, static_cast<int>(milliseconds));
    } while (result < 0 && errno == EINTR);
    ready = result > 0;
    return result >= 0;
}

// Waits and reads until the request is met or the time-outs say stop; a line
// that has hung up fails with EIO.
bool readFromLine(SerialLine& line, char* buffer, uint32_t length, uint32_t& received) {
    const SerialTimeouts& timeouts = line.timeouts;
    uint64_t total = uint64_t(timeouts.ReadTotalTimeoutMultiplier) * length + timeouts.ReadTotalTimeoutConstant;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(total);
    while (received < length) {
        bool ready = false;
        if (!waitForInput(line.fd, readWait(timeouts, total > 0, deadline, received), ready)) return false;
        if (!ready) break;
        ssize_t count = read(line.fd, line.pending, sizeof line.pending);
        if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (count == 0) errno = EIO;
        if (count <= 0) return false;
        line.pendingStart = 0;
        line.pendingEnd = static_cast<size_t>(count);
        received += takePending(line, buffer + received, length - received);
    }
    return true;
}

// Kept out of line so that the byte-a-call path of readSerial stays a few
// instructions.
__attribute__((noinline)) bool readWaiting(SerialHandle handle, char* buffer, uint32_t length, uint32_t& received) {
    received = 0;
    SerialLine* line = lineOf(handle);
    if (!line) return false;
    received = takePending(*line, buffer, length);
    return received == length || readFromLine(*line, buffer, length, received);
}

} // namespace

SerialDriverAccess& serialDriver() {
    static SerialDriverAccess access{getDriverSettings, setDriverSettings};
    return access;
}

SerialHandle invalidSerialHandle() { return reinterpret_cast<SerialHandle>(static_cast<intptr_t>(-1)); }

SerialHandle openSerial(const char* name) {
    int fd = open(devicePath(name).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return invalidSerialHandle();
    SerialLine* line = new SerialLine();
    line->fd = fd;
    int failure = 0;
    if (!isatty(fd))
        failure = ENOTTY;
    else if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        failure = errno == EWOULDBLOCK ? EBUSY : errno;
    else if (ioctl(fd, TIOCEXCL) != 0 || tcgetattr(fd, &line->original) != 0 ||
             fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 ||
             !readModemLines(fd, line->originalModemLines, line->hasModemLines))
        failure = errno;
    if (failure != 0) {
        close(fd);
        delete line;
        errno = failure;
        return invalidSerialHandle();
    }
    line->originalControl = controlOf(line->original, line->originalModemLines, line->hasModemLines);
    return line;
}

bool getSerialControl(SerialHandle handle, SerialControlBlock& control) {
    SerialLine* line = lineOf(handle);
    termios settings;
    int modemLines = 0;
    bool hasModemLines = false;
    if (!line || tcgetattr(line->fd, &settings) != 0 || !readModemLines(line->fd, modemLines, hasModemLines))
        return false;
    control = controlOf(settings, modemLines, hasModemLines);
    return true;
}

bool getSerialTimeouts(SerialHandle handle, SerialTimeouts& timeouts) {
    SerialLine* line = lineOf(handle);
    if (!line) return false;
    timeouts = line->timeouts;
    return true;
}

// The record read at open brings back exactly the settings found then.
bool setSerialControl(SerialHandle handle, const SerialControlBlock& control) {
    SerialLine* line = lineOf(handle);
    if (!line) return false;
    if (sameControl(control, line->originalControl)) {
        if (tcsetattr(line->fd, TCSANOW, &line->original) != 0) return false;
        int restore = line->originalModemLines & (TIOCM_DTR | TIOCM_RTS);
        return !line->hasModemLines || ioctl(line->fd, TIOCMSET, &restore) == 0 || noModemLines(errno);
    }
    termios settings;
    if (tcgetattr(line->fd, &settings) != 0 || !settingsOf(control, settings)) return false;
    return tcsetattr(line->fd, TCSANOW, &settings) == 0 && applyModemLines(*line, control);
}

bool setSerialTimeouts(SerialHandle handle, const SerialTimeouts& timeouts) {
    SerialLine* line = lineOf(handle);
    if (!line) return false;
    line->timeouts = timeouts;
    return true;
}

bool writeSerial(SerialHandle handle, const void* bytes, uint32_t length, uint32_t& written) {
    written = 0;
    SerialLine* line = lineOf(handle);
    if (!line) return false;
    const char* next = static_cast<const char*>(bytes);
    while (written < length) {
        ssize_t count = write(line->fd, next + written, length - written);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        written += static_cast<uint32_t>(count);
    }
    return true;
}

// While a record streams in, most reads are single bytes served from what
// the line delivered with an earlier read: no clock, no system call.
bool readSerial(SerialHandle handle, void* buffer, uint32_t length, uint32_t& received) {
    SerialLine* line = static_cast<SerialLine*>(handle);
    if (length == 1 && handle != invalidSerialHandle() && line && line->pendingStart < line->pendingEnd) {
        *static_cast<unsigned char*>(buffer) = line->pending[line->pendingStart++];
        received = 1;
        return true;
    }
    return readWaiting(handle, static_cast<char*>(buffer), length, received);
}

// USB-serial drivers (FTDI's among them) otherwise hold received bytes for
// up to 16 ms before they pass them on.
bool requestLowLatency(SerialHandle handle) {
    SerialLine* line = lineOf(handle);
    serial_struct settings{};
    if (!line || serialDriver().get(line->fd, settings) != 0) return false;
    if (settings.flags & ASYNC_LOW_LATENCY) return true;
    serial_struct lowLatency = settings;
    lowLatency.flags |= ASYNC_LOW_LATENCY;
    if (serialDriver().set(line->fd, lowLatency) != 0) return false;
    line->driverSettings = settings;
    line->driverSettingsChanged = true;
    return true;
}

bool discardSerialInput(SerialHandle handle) {
    SerialLine* line = lineOf(handle);
    if (!line) return false;
    line->pendingStart = line->pendingEnd = 0;
    return tcflush(line->fd, TCIFLUSH) == 0;
}

bool closeSerial(SerialHandle handle) {
    SerialLine* line = lineOf(handle);
    if (!line) return false;
    if (line->driverSettingsChanged) serialDriver().set(line->fd, line->driverSettings);
    ioctl(line->fd, TIOCNXCL);
    bool closed = close(line->fd) == 0;
    int failure = errno;
    delete line;
    errno = failure;
    return closed;
}

} // namespace platform
