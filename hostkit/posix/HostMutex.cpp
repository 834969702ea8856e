#include "is900/hostkit/HostMutex.h"

#include <pthread.h>

namespace is900 {
namespace hostkit {

void* createHostMutex() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    auto* mutex = new pthread_mutex_t;
    const int result = pthread_mutex_init(mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
    if (result == 0) return mutex;
    delete mutex;
    return nullptr;
}

void destroyHostMutex(void* handle) {
    if (!handle) return;
    auto* mutex = static_cast<pthread_mutex_t*>(handle);
    pthread_mutex_destroy(mutex);
    delete mutex;
}

bool lockHostMutex(void* handle) { return pthread_mutex_lock(static_cast<pthread_mutex_t*>(handle)) == 0; }

bool unlockHostMutex(void* handle) { return pthread_mutex_unlock(static_cast<pthread_mutex_t*>(handle)) == 0; }

} // namespace hostkit
} // namespace is900
