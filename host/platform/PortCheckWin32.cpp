#include "host/platform/PortCheck.h"
#include "is900/hostkit/SystemErrorText.h"

#include <windows.h>

namespace hostplatform {

// Opened as the plug-in opens it, exclusively: a held port is refused.
bool portCanBeOpenedEmptied(const std::string& name, std::string& reason) {
    HANDLE port = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        reason = is900::hostkit::systemErrorText(GetLastError());
        return false;
    }
    PurgeComm(port, PURGE_RXCLEAR);
    CloseHandle(port);
    return true;
}

} // namespace hostplatform
