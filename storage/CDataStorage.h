// The host's shared data storage and its mutex as the plug-in sees them.
// The host creates and owns both; the plug-in touches only the fields its
// layouts name, which sit at fixed offsets in 32-bit builds. The other slots
// keep the host's own data.
#pragma once

#include "hostkit/include/is900/hostkit/Records.h"
#include "storage/ConData.h"
#include "storage/TraData.h"

#include <cstdint>

struct CMutexH : is900::hostkit::CMutexH {
    // Waits without time limit; false (and an error line) when the wait fails.
    bool lock();
    bool unlock();
};

struct CDataStorage : is900::hostkit::CDataStorage {
    // Callers hold the lock around these, so that reading and raising the
    // number is one step for every device sharing the storage.
    bool setTraNumber(uint32_t number);
    bool setConNumber(uint32_t number);
    uint32_t getTraNumber() const;
    uint32_t getConNumber() const;
    // The record with a 1-based ID, or null when the ID is not in use.
    TraData* getTraData(uint32_t id) const;
    ConData* getConData(uint32_t id) const;
    bool lock();
    bool unlock();
};

static_assert(sizeof(CMutexH) == sizeof(is900::hostkit::CMutexH), "CMutexH adds no field to the host's record");
static_assert(sizeof(CDataStorage) == sizeof(is900::hostkit::CDataStorage),
              "CDataStorage adds no field to the host's record");
