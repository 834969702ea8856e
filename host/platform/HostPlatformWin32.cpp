#include "host/platform/HostPlatform.h"
#include "is900/hostkit/SystemErrorText.h"

#include <io.h>
#include <windows.h>

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace hostplatform {

// Opened as the plug-in opens it, exclusively: a held port is refused.
bool portCanBeOpened(const std::string& name, std::string& reason) {
    HANDLE port = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        reason = is900::hostkit::systemErrorText(GetLastError());
        return false;
    }
    CloseHandle(port);
    return true;
}

bool standardOutputIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

void prepareTerminal() {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(output, &mode)) SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

// Windows keeps one standard output for the data and the plug-in's log lines.
std::FILE* keepStandardOutputForData(bool) { return stdout; }

void nameThisThread(const char*) {}

} // namespace hostplatform
