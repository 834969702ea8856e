#include "is900/hostkit/HostMutex.h"

#include <windows.h>

namespace is900 {
namespace hostkit {

void* createHostMutex() { return CreateMutexA(nullptr, FALSE, nullptr); }

void destroyHostMutex(void* handle) {
    if (handle) CloseHandle(handle);
}

bool lockHostMutex(void* handle) {
    const DWORD result = WaitForSingleObject(handle, INFINITE);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

bool unlockHostMutex(void* handle) { return ReleaseMutex(handle) != 0; }

} // namespace hostkit
} // namespace is900
