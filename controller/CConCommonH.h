// Per-station controller settings of one device: output numbers, valuator
// and button order, valuator scale polynomials and tracker emulation data.
// Filled during init, read without a lock while samples are mapped.
#pragma once

#include "boundary/HostRecords.h"

#include <cstdint>

class CLogH;
struct ConData;

const uint32_t maxControllerItems = 32;
const uint32_t emulationAxes = 6;

struct TrackerEmulation {
    uint32_t tracker;
    float initPose[emulationAxes];
    uint32_t valuatorAssign[emulationAxes];
    uint32_t resetButton;
};

struct ConStation {
    uint32_t outputId;
    uint32_t valuatorCount;
    uint32_t buttonCount;
    uint32_t valuatorOrder[maxControllerItems];
    uint32_t buttonOrder[maxControllerItems];
    float valuatorScale[maxControllerItems][4];
    TrackerEmulation* emulation;
};

class CConCommonH {
public:
    explicit CConCommonH(const CLogH* deviceLog);
    ~CConCommonH();
    CConCommonH(const CConCommonH&) = delete;
    CConCommonH& operator=(const CConCommonH&) = delete;

    bool createLookup(uint32_t count, bool limit);
    bool setStation(uint32_t station, uint32_t stationOutputId, uint32_t valuators, uint32_t buttons);
    bool setEmulation(uint32_t station, uint32_t tracker, const float pose[emulationAxes],
                      const uint32_t assign[emulationAxes], uint32_t reset);
    bool freeLookup();
    bool parseOptions(DevConfig* config);
    bool printReport() const;

    // Record ID of a station's controller record: outputId + outputIdBase for
    // stations 1 to 8 that have an output number, else 0.
    uint32_t recordId(int32_t station) const;
    float scaleValuator(uint32_t station, uint32_t valuator, float x) const;
    // Fills the working record from one raw sample (button byte, two joystick
    // bytes). False, with the record untouched, when the station's record ID
    // is outside 1 to 32.
    bool mapSample(int32_t station, unsigned char buttons, unsigned char joystickX, unsigned char joystickY,
                   ConData& record) const;

    static float normalizeValuator(unsigned char raw);
    static bool clearUpdateMask(unsigned char* mask);
    static bool markUpdated(unsigned char* mask, uint32_t id);

    bool ownsLog;
    uint32_t lookupSize;
    bool limitToCount;
    ConStation* lookup;
    bool inputConnector;
    uint32_t outputStationCount;
    uint32_t outputIdBase;
    CLogH* log;

private:
    ConStation* station(uint32_t number) const;
    bool rejectLine(const char* problem, const char* label, const ConfigLine& line) const;
    bool parseItemOrder(ConfigLine& line, bool valuators);
    bool parseValuatorScale(ConfigLine& line);
    bool parseEmulation(ConfigLine& line);
    bool parseControllerOrder(ConfigLine& line);
    void writeContentStart(uint32_t stationNumber) const;
    void printValuators(uint32_t stationNumber, const ConStation& entry) const;
    void printButtons(uint32_t stationNumber, const ConStation& entry) const;
    void printEmulation(uint32_t stationNumber, const TrackerEmulation& emulation) const;
};
