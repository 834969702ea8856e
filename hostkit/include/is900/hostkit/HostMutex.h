// The operating-system mutex a host puts into a storage's CMutexH: a
// recursive pthread mutex on POSIX, a Windows mutex elsewhere.
#pragma once

namespace is900 {
namespace hostkit {

void* createHostMutex();
void destroyHostMutex(void* handle);
bool lockHostMutex(void* handle);
bool unlockHostMutex(void* handle);

} // namespace hostkit
} // namespace is900
