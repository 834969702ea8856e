// A complete shared storage as a tracking host builds it: a list of 32
// records of one kind, the record count, a mutex record around an
// operating-system mutex, and a logger. The object owns and frees all of it.
#pragma once

#include "is900/hostkit/Records.h"
#include "is900/hostkit/HostLog.h"

#include <cstdint>
#include <memory>

namespace is900 {
namespace hostkit {

enum class StorageKind { tracker, controller };

class HostStorage {
public:
    // Logs through the given record, or through one of its own when null.
    explicit HostStorage(StorageKind kind, CLogH* log = nullptr);
    ~HostStorage();
    HostStorage(const HostStorage&) = delete;
    HostStorage& operator=(const HostStorage&) = delete;

    StorageKind kind() const { return storageKind; }
    // What the host hands to a device in DevInitInfo.
    CDataStorage* storage() { return record.get(); }
    CMutexH* mutexRecord() { return mutex.get(); }
    CLogH* log() { return record->log; }

    // The host's own locking, straight on the operating-system mutex. The
    // mutex is recursive, so a holder may lock it again.
    bool lock();
    bool unlock();

    // Under the lock: the number of records devices have reserved, and a
    // copy of the record with a 1-based ID (false when it is not in use).
    uint32_t recordCount();
    // Sets the number of reserved records; the host does this only around a
    // device's init, holding the lock.
    void setRecordCount(uint32_t count);
    bool readTraData(uint32_t id, TraData& copy);
    bool readConData(uint32_t id, ConData& copy);

    // The raw lists, null for the other kind; only for use under the lock.
    TraData* traSlots() { return traList.get(); }
    ConData* conSlots() { return conList.get(); }

private:
    template <typename Record>
    bool readRecord(const Record* list, uint32_t id, Record& copy);

    StorageKind storageKind;
    HostLog ownLog;
    std::unique_ptr<TraData[]> traList;
    std::unique_ptr<ConData[]> conList;
    std::unique_ptr<uint32_t> number;
    std::unique_ptr<CMutexH> mutex;
    std::unique_ptr<CDataStorage> record;
};

// What a host hands to a device's init: its two storages and its run flag.
DevInitInfo deviceInitInfo(HostStorage& trackers, HostStorage& controllers, int32_t* runFlag);

// Holds a host storage's lock for one scope.
class HostLock {
public:
    explicit HostLock(HostStorage& storage) : held(storage) { held.lock(); }
    ~HostLock() { held.unlock(); }
    HostLock(const HostLock&) = delete;
    HostLock& operator=(const HostLock&) = delete;

private:
    HostStorage& held;
};

} // namespace hostkit
} // namespace is900
