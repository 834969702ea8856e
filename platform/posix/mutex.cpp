#include "platform/mutex.h"

#include <cerrno>
#include <pthread.h>

namespace platform {

bool lockMutex(void* handle, int& errorCode) {
    errorCode = handle ? pthread_mutex_lock(static_cast<pthread_mutex_t*>(handle)) : EINVAL;
    return errorCode == 0;
}

bool unlockMutex(void* handle, int& errorCode) {
    errorCode = handle ? pthread_mutex_unlock(static_cast<pthread_mutex_t*>(handle)) : EINVAL;
    return errorCode == 0;
}

} // namespace platform
