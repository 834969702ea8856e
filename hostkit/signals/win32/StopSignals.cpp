#include "is900/signals/StopSignals.h"

#include <cstdlib>
#include <windows.h>

namespace is900 {
namespace hostkit {
namespace {

std::function<void()> stopHandler;
std::function<void()> exitHandler;
LONG stopEvents = 0;

// Runs on a thread the system starts for the event.
BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    if (InterlockedIncrement(&stopEvents) > 1) {
        if (exitHandler) exitHandler();
        std::_Exit(130);
    }
    stopHandler();
    return TRUE;
}

} // namespace

void handleStopSignals(std::function<void()> onStop, std::function<void()> beforeExit) {
    stopHandler = std::move(onStop);
    exitHandler = std::move(beforeExit);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

} // namespace hostkit
} // namespace is900
