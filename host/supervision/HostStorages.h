// The tracker and controller storages the host shares with the device.
#pragma once

#include "is900/hostkit/HostStorage.h"

class HostStorages {
public:
    explicit HostStorages(is900::hostkit::CLogH* log)
        : trackerStorage(is900::hostkit::StorageKind::tracker, log),
          controllerStorage(is900::hostkit::StorageKind::controller, log) {}

    is900::hostkit::CDataStorage* tracker() { return trackerStorage.storage(); }
    is900::hostkit::CDataStorage* controller() { return controllerStorage.storage(); }

    struct Numbers {
        uint32_t tracker = 0;
        uint32_t controller = 0;
    };

    // Both storages' mutexes, held for one scope; they are recursive, so a
    // device's init may lock them again on the same thread.
    class BothLocked {
    public:
        explicit BothLocked(HostStorages& storages)
            : trackerLock(storages.trackerStorage), controllerLock(storages.controllerStorage) {}

    private:
        is900::hostkit::HostLock trackerLock;
        is900::hostkit::HostLock controllerLock;
    };

    Numbers numbers() { return {trackerStorage.recordCount(), controllerStorage.recordCount()}; }
    void setNumbers(const Numbers& numbers) {
        trackerStorage.setRecordCount(numbers.tracker);
        controllerStorage.setRecordCount(numbers.controller);
    }

    // Copies a published record under the storage's mutex.
    bool readTracker(uint32_t id, is900::hostkit::TraData& record) { return trackerStorage.readTraData(id, record); }
    bool readController(uint32_t id, is900::hostkit::ConData& record) { return controllerStorage.readConData(id, record); }

private:
    is900::hostkit::HostStorage trackerStorage;
    is900::hostkit::HostStorage controllerStorage;
};
