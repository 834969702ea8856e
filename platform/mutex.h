// Locking of a mutex that the host created. The handle is the host's own:
// a Windows mutex handle, or on POSIX a pointer to a pthread_mutex_t.
#pragma once

namespace platform {

// Both return true on success; otherwise false with errorCode set to a code
// that platform::errorText turns into the system's message.
bool lockMutex(void* handle, int& errorCode);
bool unlockMutex(void* handle, int& errorCode);

} // namespace platform
