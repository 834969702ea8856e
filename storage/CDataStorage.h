// The host's shared data storage and its mutex as the plug-in sees them.
// The host creates and owns both; the plug-in touches only the fields named
// here, which sit at fixed offsets in 32-bit builds. The other slots keep
// the host's own data.
#pragma once

#include "storage/ConData.h"
#include "storage/TraData.h"

#include <cstddef>
#include <cstdint>

class CLogH;

struct CMutexH {
    void* hostSlots[17];
    void* mutexHandle;
    void* hostSlots2[2];
    CLogH* log;

    // Waits without time limit; false (and an error line) when the wait fails.
    bool lock();
    bool unlock();
};

struct CDataStorage {
    void* hostSlot0;
    TraData* traDataList;
    ConData* conDataList;
    CLogH* log;
    void* hostSlot16;
    CMutexH* mutex;
    void* hostSlots24[2];
    uint32_t* dataNumber;

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

static_assert(sizeof(void*) != 4 || offsetof(CMutexH, mutexHandle) == 68, "CMutexH layout");
static_assert(sizeof(void*) != 4 || offsetof(CMutexH, log) == 80, "CMutexH layout");
static_assert(sizeof(void*) != 4 || sizeof(CMutexH) == 84, "CMutexH layout");
static_assert(sizeof(void*) != 4 || offsetof(CDataStorage, traDataList) == 4, "CDataStorage layout");
static_assert(sizeof(void*) != 4 || offsetof(CDataStorage, conDataList) == 8, "CDataStorage layout");
static_assert(sizeof(void*) != 4 || offsetof(CDataStorage, log) == 12, "CDataStorage layout");
static_assert(sizeof(void*) != 4 || offsetof(CDataStorage, mutex) == 20, "CDataStorage layout");
static_assert(sizeof(void*) != 4 || offsetof(CDataStorage, dataNumber) == 32, "CDataStorage layout");
static_assert(sizeof(void*) != 4 || sizeof(CDataStorage) == 36, "CDataStorage layout");
