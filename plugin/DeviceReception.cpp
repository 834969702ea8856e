// Record reception: one output record per call, decoded into a tracker
// and/or a controller sample, published into the host's storages when it
// differs from the station's last published record.
#include "plugin/CISX00.h"

#include "controller/CConCommonH.h"
#include "storage/CDataStorage.h"
#include "support/CLogH.h"
#include "tracker/CTraCommonH.h"

#include <iostream>

namespace {

const uint32_t maskSize = 4;

bool validId(uint32_t id) { return id >= 1 && id <= 32; }

bool carriesController(uint32_t length) {
    return length == RawRecord::controllerLength || length == RawRecord::combinedLength;
}

bool carriesTracker(uint32_t length) {
    return length == RawRecord::trackerLength || length == RawRecord::combinedLength;
}

template <class Record> struct StorageSlot {
    Record* (CDataStorage::*find)(uint32_t id) const;
    const char* foundText;
    const char* missingText;
};

// Copies a changed record into its slot under the storage's lock and marks
// its ID. The record counts as published even without a slot, so that the
// same sample is not tried again; false tells the caller nothing was stored.
template <class Record>
bool publish(const StorageSlot<Record>& slot, const CLogH& log, CDataStorage* storage, const Record& working,
             Record& last, uint32_t id, unsigned char* mask, Record*& current) {
    if (working.equals(last)) return true;
    bool stored = false;
    storage->lock();
    current = (storage->*slot.find)(id);
    if (current) {
        log.debug(slot.foundText, true);
        *current = working;
        stored = true;
    } else {
        log.error(slot.missingText, true);
    }
    storage->unlock();
    CConCommonH::markUpdated(mask, id);
    last = working;
    return stored;
}

} // namespace

int CISX00::recvData(unsigned char* updateMasks, void*) {
    log->debug("CISX00: \"recvData\" called.", true);
    if (!initialised) return -1;
    unsigned char* traMask = updateMasks;
    unsigned char* conMask = updateMasks ? updateMasks + maskSize : nullptr;
    if (tracker) CConCommonH::clearUpdateMask(traMask);
    if (controller) CConCommonH::clearUpdateMask(conMask);

    if (recovery.active() && recovery.lineIsDown()) return recovery.reopenWhenDue();
    const ReadOutcome outcome = RecordReader(port, log).read(runFlag, received);
    if (recovery.active()) {
        const int judged = recovery.judgeRead(outcome, outcome == ReadOutcome::complete && validRecord());
        if (judged != DeviceRecovery::useRecord) return judged;
    }
    switch (outcome) {
    case ReadOutcome::timedOut:
        return 1;
    case ReadOutcome::failed:
    case ReadOutcome::stopped:
        return -1;
    case ReadOutcome::complete:
        break;
    }
    log->debug("CISX00: Checking the data format.", true);
    const int32_t station = RecordReader::station(received);
    const uint32_t count = received.count;

    uint32_t conId = 0;
    bool controllerSample = false;
    if (carriesController(count) && controller)
        controllerSample = takeControllerSample(station, conId);

    uint32_t traId = 0;
    bool trackerSample = false;
    if (carriesTracker(count) && tracker) {
        const int taken = takeTrackerSample(station, traId);
        if (taken < 0) return -1;
        trackerSample = taken > 0;
    }
    if (!carriesController(count) && !carriesTracker(count) && log->debugOn()) {
        log->warning("CISX00: Got wrong length of data: ", false);
        std::cout << static_cast<int32_t>(count) << " Ignored." << std::endl;
    }

    if (tracker && trackerSample) trackerSample = publishTracker(station, traId, traMask);
    if (controller && controllerSample) controllerSample = publishController(station, conId, conMask);
    if (!trackerSample && !controllerSample && log->debugOn())
        log->warning("CISX00: No valid data received.", true);
    return 1;
}

bool CISX00::stationFlag(const bool* flags, int32_t station) const {
    return station >= 1 && station <= stationCount && flags[station - 1];
}

// A record of an accepted length for a station that is on for its kind;
// anything else (an ASCII record, a fragment) leaves the tracker silent.
bool CISX00::validRecord() const {
    const int32_t station = RecordReader::station(received);
    const uint32_t count = received.count;
    const bool controllerRecord = controller && carriesController(count) && stationFlag(controllerOn, station);
    const bool trackerRecord = tracker && carriesTracker(count) && stationFlag(sensorOn, station);
    return controllerRecord || trackerRecord;
}

bool CISX00::takeControllerSample(int32_t station, uint32_t& id) {
    id = controller->recordId(station);
    if (log->debugOn()) {
        log->debug("CISX00: rawID: ", false);
        std::cout << static_cast<uint32_t>(station) << " newConID: " << id << std::endl;
    }
    if (!validId(id) || !stationFlag(controllerOn, station)) return false;
    // The controller bytes follow the header in a controller record and the
    // pose in a combined one.
    const unsigned char* bytes = received.bytes + (received.count == RawRecord::combinedLength ? 27 : 3);
    if (log->debugOn()) {
        log->debug("CISX00: but: ", false);
        for (int bit = 0; bit < 8; ++bit) std::cout << (bit ? " " : "") << ((bytes[0] >> bit) & 1);
        std::cout << " val: " << static_cast<unsigned>(bytes[1]) << " " << static_cast<unsigned>(bytes[2])
                  << std::endl;
    }
    return controller->mapSample(station, bytes[0], bytes[1], bytes[2], conData);
}

// 1: a sample is ready; 0: no sample for this station; -1: the calibration
// library failed and reception has to end.
int CISX00::takeTrackerSample(int32_t station, uint32_t& id) {
    id = tracker->recordId(station);
    if (log->debugOn()) {
        log->debug("CISX00: rawID: ", false);
        std::cout << static_cast<uint32_t>(station) << " newTraID: " << id << std::endl;
    }
    if (!validId(id) || !stationFlag(sensorOn, station)) return 0;
    traData.stampTime();
    traData.setId(id);
    RecordReader::decodePose(received, pose);
    if (!tracker->processPose(station, dataUnit, pose)) return -1;
    traData.setX(pose[0]);
    traData.setY(pose[1]);
    traData.setZ(pose[2]);
    traData.setAzim(pose[3]);
    traData.setElev(pose[4]);
    traData.setRoll(pose[5]);
    return 1;
}

bool CISX00::publishTracker(int32_t station, uint32_t id, unsigned char* mask) {
    static const StorageSlot<TraData> slot = {&CDataStorage::getTraData, "CISX00: TraData storage found",
                                              "CISX00: TraData storage not found"};
    return publish(slot, *log, asPluginRecord<CDataStorage>(initInfo.trackerStorage), traData,
                   lastTraData[station - 1], id, mask, currentTraData);
}

bool CISX00::publishController(int32_t station, uint32_t id, unsigned char* mask) {
    static const StorageSlot<ConData> slot = {&CDataStorage::getConData, "CISX00: ConData storage found",
                                              "CISX00: ConData storage not found"};
    return publish(slot, *log, asPluginRecord<CDataStorage>(initInfo.controllerStorage), conData,
                   lastConData[station - 1], id, mask, currentConData);
}
