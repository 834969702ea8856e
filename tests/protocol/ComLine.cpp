#include "TestLine.h"

#include <windows.h>

std::string silentPortName() { return "COM1"; }

std::string missingPortName() { return "no-such-folder\\is900-port"; }

bool exclusiveOpenEnforced() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return !(ntdll && GetProcAddress(ntdll, "wine_get_version"));
}
