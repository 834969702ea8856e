#include "storage/CDataStorage.h"

#include "platform/mutex.h"
#include "storage/StorageLog.h"
#include "support/CLogH.h"

#include <iostream>

namespace {

bool reportFailure(const is900::hostkit::CLogH* log, const char* text, int errorCode) {
    storageLog(log).error(text, false);
    std::cout << platform::errorText(errorCode) << std::endl;
    return false;
}

} // namespace

bool CMutexH::lock() {
    int errorCode = 0;
    if (platform::lockMutex(mutexHandle, errorCode)) return true;
    return reportFailure(log, "CMutexH: Locking mutex: ", errorCode);
}

bool CMutexH::unlock() {
    int errorCode = 0;
    if (platform::unlockMutex(mutexHandle, errorCode)) return true;
    return reportFailure(log, "CMutexH: Unlocking mutex: ", errorCode);
}
