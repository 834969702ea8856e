#include "host/platform/HostPlatform.h"
#include "is900/hostkit/SystemErrorText.h"

#include <cstdlib>
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

namespace {

std::function<void()> stopHandler;
LONG stopEvents = 0;

// Runs on a thread the system starts for the event.
BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    if (InterlockedIncrement(&stopEvents) > 1) std::_Exit(130);
    stopHandler();
    return TRUE;
}

} // namespace

void handleStopSignals(std::function<void()> onStop) {
    stopHandler = std::move(onStop);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

// Windows keeps one standard output for the data and the plug-in's log
// lines; -q switches the plug-in's logger off, init's errors included.
std::FILE* keepStandardOutputForData(bool) { return stdout; }

bool quietShowsPluginErrors() { return false; }

PluginErrorsShown::PluginErrorsShown() {}

PluginErrorsShown::~PluginErrorsShown() {}

void nameThisThread(const char*) {}

} // namespace hostplatform
