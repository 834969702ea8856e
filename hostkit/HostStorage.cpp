#include "is900/hostkit/HostStorage.h"

#include "is900/hostkit/HostMutex.h"

#include <stdexcept>

namespace is900 {
namespace hostkit {

HostStorage::HostStorage(StorageKind kind, CLogH* log)
    : storageKind(kind), ownLog(kind == StorageKind::tracker ? "TRACKER STORAGE" : "CONTROLLER STORAGE"),
      number(new uint32_t(0)), mutex(new CMutexH()), record(new CDataStorage()) {
    if (!log) log = ownLog.record();
    if (kind == StorageKind::tracker)
        traList.reset(new TraData[maxRecordId]());
    else
        conList.reset(new ConData[maxRecordId]());
    mutex->mutexHandle = createHostMutex();
    if (!mutex->mutexHandle) throw std::runtime_error("cannot create the storage's mutex");
    mutex->log = log;
    record->traDataList = traList.get();
    record->conDataList = conList.get();
    record->log = log;
    record->mutex = mutex.get();
    record->dataNumber = number.get();
}

HostStorage::~HostStorage() { destroyHostMutex(mutex->mutexHandle); }

bool HostStorage::lock() { return lockHostMutex(mutex->mutexHandle); }

bool HostStorage::unlock() { return unlockHostMutex(mutex->mutexHandle); }

uint32_t HostStorage::recordCount() {
    HostLock hold(*this);
    return *number;
}

void HostStorage::setRecordCount(uint32_t count) {
    HostLock hold(*this);
    *number = count;
}

template <typename Record>
bool HostStorage::readRecord(const Record* list, uint32_t id, Record& copy) {
    HostLock hold(*this);
    if (!list || id < 1 || id > *number || id > maxRecordId) return false;
    copy = list[id - 1];
    return true;
}

bool HostStorage::readTraData(uint32_t id, TraData& copy) { return readRecord(traList.get(), id, copy); }

bool HostStorage::readConData(uint32_t id, ConData& copy) { return readRecord(conList.get(), id, copy); }

DevInitInfo deviceInitInfo(HostStorage& trackers, HostStorage& controllers, int32_t* runFlag) {
    DevInitInfo info{};
    info.trackerStorage = trackers.storage();
    info.controllerStorage = controllers.storage();
    info.runFlag = runFlag;
    return info;
}

} // namespace hostkit
} // namespace is900
