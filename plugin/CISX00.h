// The IS-900 device: options and init, streaming control, reception, report.
#pragma once

#include "plugin/CBase.h"

class CRS232H;
class CTraCommonH;
class CConCommonH;

class CISX00 final : public CBase {
public:
    CISX00(DevConfig* config, const CLogH* hostLog);
    ~CISX00();

    int init(DevInitInfo* info) override;
    bool start() override;
    int configure() override;
    bool stop() override;
    bool printInfo() override;
    int recvData(unsigned char* updateMasks, void* unused) override;
    int sendData(void* first, void* second) override;

private:
    CRS232H* port;
    char* deviceName;
    char* portName;
    bool reset;
    char dataUnit;
    int32_t baudRate;
    bool sensorOn[8];
    bool controllerOn[8];
    DevInitInfo initInfo;
    uint32_t sensorCount;
    uint32_t controllerCount;
    int32_t* runFlag;
    DevConfig* config;
    CTraCommonH* tracker;
    CConCommonH* controller;
};
