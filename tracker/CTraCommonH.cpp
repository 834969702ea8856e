#include "tracker/CTraCommonH.h"

#include "support/CLogH.h"
#include "tracker/CCalibH.h"
#include "tracker/PoseTransform.h"

CTraCommonH::CTraCommonH(const CLogH* logger)
    : lookupSize(0), lookup(nullptr), inputConnector(true), transmitterOffset(zeroMatrix()),
      transmitterRotation(identityMatrix()), transmitterTransform(identityMatrix()), transmitterOffsetSet(false),
      transmitterRotationSet(false), caveCoordinates(false), outputStationCount(0), outputIdBase(0),
      calibration(nullptr), calibrationLibrary(), calibrationArgs(), calibrationArgCount(0),
      log(logger ? new CLogH(*logger) : new CLogH) {
    if (!logger) log->setName("CTraCommonH");
    log->setDebugGroup(3);
    log->debug("CTraCommonH: \"constructor\" called.", true);
}

CTraCommonH::~CTraCommonH() {
    log->debug("CTraCommonH: \"destructor\" called.", true);
    releaseCalibration();
    delete[] lookup;
    lookup = nullptr;
    lookupSize = 0;
    delete log;
}

void CTraCommonH::releaseCalibration() {
    delete calibration;
    calibration = nullptr;
    for (uint32_t k = 0; k < calibrationArgCount; ++k) {
        delete[] calibrationArgs[k];
        calibrationArgs[k] = nullptr;
    }
    calibrationArgCount = 0;
}

bool CTraCommonH::createLookup(uint32_t count) {
    log->debug("CTraCommonH: \"createLookup\" called.", true);
    if (count == 0) return false;
    delete[] lookup;
    lookup = new TraStation[count];
    lookupSize = count;
    for (uint32_t s = 1; s <= count; ++s) setStation(s, 0);
    return true;
}

bool CTraCommonH::setStation(uint32_t station, uint32_t outputId, const Matrix4* offset, const Matrix4* rotation,
                             const float translation[3]) {
    log->debug("CTraCommonH: \"setStation\" called.", true);
    if (!lookup || station == 0 || station > lookupSize) return false;
    TraStation& entry = lookup[station - 1];
    entry.outputId = outputId;
    entry.sensorOffset = offset ? *offset : zeroMatrix();
    entry.sensorOffsetSet = offset != nullptr;
    entry.sensorRotation = rotation ? *rotation : identityMatrix();
    entry.sensorRotationSet = rotation != nullptr;
    for (int i = 0; i < 3; ++i) entry.sensorTranslation[i] = translation ? translation[i] : 0.0f;
    entry.sensorTranslationSet = translation != nullptr;
    entry.sensorTransform = composeTransform(entry.sensorRotation, entry.sensorOffset);
    return true;
}

const TraStation* CTraCommonH::station(int32_t number) const {
    if (!lookup || number < 1 || static_cast<uint32_t>(number) > lookupSize) return nullptr;
    return &lookup[number - 1];
}

uint32_t CTraCommonH::recordId(int32_t number) const {
    const TraStation* entry = station(number);
    if (!entry || entry->outputId == 0) return 0;
    return entry->outputId + outputIdBase;
}

bool CTraCommonH::processPose(int32_t number, char dataUnit, float pose[6]) const {
    convertToFeet(pose, dataUnit, caveCoordinates);
    if (calibration && !calibration->evaluate(pose)) return false;
    static const Matrix4 noSensorTransform = identityMatrix();
    const TraStation* entry = station(number);
    const bool sensorSet =
        entry && (entry->sensorOffsetSet || entry->sensorRotationSet || entry->sensorTranslationSet);
    if (transmitterOffsetSet || transmitterRotationSet || sensorSet)
        transformPose(pose, &transmitterTransform, entry ? &entry->sensorTransform : &noSensorTransform,
                      entry ? entry->sensorTranslation : nullptr);
    return true;
}
