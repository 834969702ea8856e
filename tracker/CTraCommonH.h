// Tracker post-processing of one device: per-station output numbers and
// sensor corrections, the transmitter correction, CAVE coordinates and the
// optional calibration library. Filled during the device's init, read-only
// during acquisition.
#pragma once

#include "boundary/HostRecords.h"
#include "tracker/Matrix4.h"

#include <cstdint>

class CLogH;
class CCalibH;

struct TraStation {
    uint32_t outputId; // 1-based output number; 0: the station produces no output
    Matrix4 sensorOffset;
    Matrix4 sensorRotation;
    Matrix4 sensorTransform; // always composeTransform(sensorRotation, sensorOffset)
    float sensorTranslation[3];
    bool sensorOffsetSet;
    bool sensorRotationSet;
    bool sensorTranslationSet;
};

class CTraCommonH {
public:
    static const uint32_t maxCalibrationArgs = 10;
    static const uint32_t calibrationLibrarySize = 256;
    // What parsing did with one option line; checkedOnly: it passed the
    // checks made after an earlier failure and was left unapplied.
    enum class OptionOutcome { notTracker, applied, failed, checkedOnly };

    explicit CTraCommonH(const CLogH* logger);
    ~CTraCommonH();
    CTraCommonH(const CTraCommonH&) = delete;
    CTraCommonH& operator=(const CTraCommonH&) = delete;

    bool createLookup(uint32_t count);
    // A missing offset, rotation or translation resets that correction.
    bool setStation(uint32_t station, uint32_t outputId, const Matrix4* offset = nullptr,
                    const Matrix4* rotation = nullptr, const float translation[3] = nullptr);
    // Consumes the tracker options among the lines; false when one of them failed.
    bool parseOptions(DevConfig* config);
    bool printReport(bool withCaveLine) const;
    bool printReport() const;

    // ID of the station's records: outputId + outputIdBase, or 0 when the
    // station (1-based) has no output.
    uint32_t recordId(int32_t station) const;
    // One decoded sample of a station, in place: to feet (dataUnit 'U' inches,
    // otherwise centimetres) with the CAVE mapping, then the calibration
    // library, then the transmitter and sensor corrections. False when the
    // calibration library cannot evaluate; the sample must then be dropped.
    bool processPose(int32_t station, char dataUnit, float pose[6]) const;

    uint32_t lookupSize;
    TraStation* lookup;
    bool inputConnector;
    Matrix4 transmitterOffset;
    Matrix4 transmitterRotation;
    Matrix4 transmitterTransform; // always composeTransform(transmitterRotation, transmitterOffset)
    bool transmitterOffsetSet;
    bool transmitterRotationSet;
    bool caveCoordinates;
    uint32_t outputStationCount;
    uint32_t outputIdBase;
    CCalibH* calibration;
    char calibrationLibrary[calibrationLibrarySize];
    char* calibrationArgs[maxCalibrationArgs];
    uint32_t calibrationArgCount;
    CLogH* log;

private:
    const TraStation* station(int32_t number) const;
    OptionOutcome parseLine(const ConfigLine& line, bool errorSet);
    OptionOutcome parseTransmitterOffset(const ConfigLine& line, bool errorSet);
    OptionOutcome parseTransmitterRotation(const ConfigLine& line, bool errorSet, bool asMatrix);
    OptionOutcome parseSensorPosition(const ConfigLine& line, bool errorSet, bool isTranslation);
    OptionOutcome parseSensorRotation(const ConfigLine& line, bool errorSet, bool asMatrix);
    OptionOutcome parseCalibration(const ConfigLine& line);
    OptionOutcome parseOrder(const ConfigLine& line);
    OptionOutcome parseCave(const ConfigLine& line);
    void releaseCalibration();
};
