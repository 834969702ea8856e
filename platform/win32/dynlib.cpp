#include "platform/dynlib.h"

#include <windows.h>

namespace platform {

LibraryHandle loadLibrary(const char* fileName) { return LoadLibraryA(fileName); }

ProcAddress findProc(LibraryHandle library, const char* name) {
    return reinterpret_cast<ProcAddress>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void freeLibrary(LibraryHandle library) { FreeLibrary(static_cast<HMODULE>(library)); }

} // namespace platform
