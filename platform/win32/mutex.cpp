#include "platform/mutex.h"

#include <windows.h>

namespace platform {

bool lockMutex(void* handle, int& errorCode) {
    if (WaitForSingleObject(handle, INFINITE) == WAIT_OBJECT_0) return true;
    errorCode = static_cast<int>(GetLastError());
    return false;
}

bool unlockMutex(void* handle, int& errorCode) {
    if (ReleaseMutex(handle)) return true;
    errorCode = static_cast<int>(GetLastError());
    return false;
}

} // namespace platform
