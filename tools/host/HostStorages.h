// The tracker and controller storages the host shares with the device.
#pragma once

#include "tools/hostkit/HostStorage.h"

class HostStorages {
public:
    explicit HostStorages(CLogH* log)
        : trackerStorage(hostkit::StorageKind::tracker, log),
          controllerStorage(hostkit::StorageKind::controller, log) {}

    CDataStorage* tracker() { return trackerStorage.storage(); }
    CDataStorage* controller() { return controllerStorage.storage(); }

    // Copies a published record under the storage's mutex.
    bool readTracker(uint32_t id, TraData& record) { return trackerStorage.readTraData(id, record); }
    bool readController(uint32_t id, ConData& record) { return controllerStorage.readConData(id, record); }

private:
    hostkit::HostStorage trackerStorage;
    hostkit::HostStorage controllerStorage;
};
