#include "storage/CDataStorage.h"

#include "storage/StorageLog.h"
#include "support/CLogH.h"
#include "support/HostRecord.h"

const CLogH& storageLog(const is900::hostkit::CLogH* log) {
    static const CLogH fallback;
    return log ? *asPluginRecord<CLogH>(log) : fallback;
}

namespace {

const char* const tooBig = "CDataStorage: The new number is too big.";
const char* const noMutex = "CDataStorage: Mutex has not been set up yet.";
const char* const zeroNumber = "CDataStorage: the number of data is zero.";

template <typename Record, typename Layout>
Record* recordById(Layout* list, const uint32_t* dataNumber, uint32_t id) {
    if (!list || !dataNumber) return nullptr;
    if (id < 1 || id > *dataNumber || id > maxRecordId) return nullptr;
    return asPluginRecord<Record>(list + (id - 1));
}

struct ListTexts {
    const char* deleteOtherList;
    const char* notCreated;
};

const ListTexts trackerTexts = {"Delete controller data list first.",
                                "CDataStorage: Data storage has not been created yet."};
const ListTexts controllerTexts = {"CDataStorage: Delete tracker data list first.",
                                   "CDataStorage: Datt Storage has not been created yet."};

// The first check that fails names the problem; null when the number may be set.
const char* numberProblem(const CDataStorage& storage, uint32_t number, const void* ownList, const void* otherList,
                          const ListTexts& texts) {
    if (number > maxRecordId) return tooBig;
    if (otherList) return texts.deleteOtherList;
    if (!ownList || !storage.dataNumber) return texts.notCreated;
    if (!storage.mutex) return noMutex;
    if (number == 0) return zeroNumber;
    return nullptr;
}

bool setNumber(CDataStorage& storage, uint32_t number, const char* problem) {
    if (problem) {
        storageLog(storage.log).error(problem, true);
        return false;
    }
    *storage.dataNumber = number;
    return true;
}

} // namespace

bool CDataStorage::setTraNumber(uint32_t number) {
    return setNumber(*this, number, numberProblem(*this, number, traDataList, conDataList, trackerTexts));
}

bool CDataStorage::setConNumber(uint32_t number) {
    return setNumber(*this, number, numberProblem(*this, number, conDataList, traDataList, controllerTexts));
}

uint32_t CDataStorage::getTraNumber() const { return traDataList && dataNumber ? *dataNumber : 0; }

uint32_t CDataStorage::getConNumber() const { return conDataList && dataNumber ? *dataNumber : 0; }

TraData* CDataStorage::getTraData(uint32_t id) const { return recordById<TraData>(traDataList, dataNumber, id); }

ConData* CDataStorage::getConData(uint32_t id) const { return recordById<ConData>(conDataList, dataNumber, id); }

bool CDataStorage::lock() {
    if (mutex) return asPluginRecord<CMutexH>(mutex)->lock();
    storageLog(log).error(noMutex, true);
    return false;
}

bool CDataStorage::unlock() {
    if (mutex) return asPluginRecord<CMutexH>(mutex)->unlock();
    storageLog(log).error(noMutex, true);
    return false;
}
