// The IS-900 device: options and init, streaming control, record reception
// and the configuration report. It owns the recovery of its line and sets
// the line and the tracker up again when the recovery asks.
#pragma once

#include "boundary/CBase.h"
#include "plugin/DeviceRecovery.h"
#include "protocol/RecordReader.h"
#include "storage/ConData.h"
#include "storage/TraData.h"
#include "support/DeviceClock.h"

#include <chrono>

class CRS232H;
class CTraCommonH;
class CConCommonH;
class IS900CommandSteps;

class CISX00 final : public CBase {
public:
    static const int stationCount = 8;

    CISX00(DevConfig* config, const CLogH* hostLog);
    ~CISX00();

    int init(DevInitInfo* info) override;
    bool start() override;
    int configure() override;
    bool stop() override;
    bool printInfo() override;
    int recvData(unsigned char* updateMasks, void* unused) override;
    int sendData(void* first, void* second) override;

    // Tests replace the waits of the reset and the alignments.
    IS900CommandSteps* commandSteps() const { return commands; }

private:
    static bool anyStationOn(const bool* flags);

    // Options and init
    void setDefaults();
    bool parseDeviceOptions();
    bool parseDeviceLine(ConfigLine& line);
    bool parseStationFlags(ConfigLine& line, bool* flags, uint32_t& count, const char* label, bool controllers);
    bool buildTracker();
    bool buildController();
    bool parseReconnectLine(ConfigLine& line);
    bool parseCaptureLine(ConfigLine& line);
    bool openAndSetUpPort();
    bool startCapture();
    bool setUpLine(bool reopening);
    void release();

    // Streaming control
    // The set-up without the reset. watchRunFlag: the host's run flag is read
    // before each step and a cleared one ends the set-up (stopped).
    // restart: continuous output is stopped first and the line emptied, and
    // emptied again before continuous output starts.
    SetUp setUpStreaming(bool watchRunFlag, bool restart);

    // Reception
    bool takeControllerSample(int32_t station, uint32_t& id);
    int takeTrackerSample(int32_t station, uint32_t& id);
    bool publishTracker(int32_t station, uint32_t id, unsigned char* updateMasks);
    bool publishController(int32_t station, uint32_t id, unsigned char* updateMasks);
    bool stationFlag(const bool* flags, int32_t station) const;
    bool validRecord() const;

    // Report
    void printDataType() const;
    void printStations(const char* label, const bool* flags) const;

    CRS232H* port;
    char* deviceName;
    char* portName;
    char* capturePath; // null: no capture
    int32_t captureLimitMiB;
    bool reset;
    char dataUnit;
    int32_t baudRate;
    bool sensorOn[stationCount];
    bool controllerOn[stationCount];
    DevInitInfo initInfo;
    TraData* currentTraData;
    TraData lastTraData[stationCount];
    TraData traData;
    ConData* currentConData;
    ConData lastConData[stationCount];
    ConData conData;
    uint32_t sensorCount;
    uint32_t controllerCount;
    RawRecord received;
    float pose[6];
    int32_t* runFlag;
    DevConfig* config;
    CTraCommonH* tracker;
    CConCommonH* controller;
    IS900CommandSteps* commands;
    bool initialised;

    DeviceClock clock;
    DeviceRecovery recovery;
};
