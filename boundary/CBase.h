// The abstract device the host drives by virtual slot. The slot order and
// the member layout are part of the host interface: no virtual destructor.
#pragma once

#include "boundary/HostRecords.h"

#include <cstdint>

class CLogH;

class CBase {
public:
    virtual int init(DevInitInfo* info) = 0;
    virtual bool start() = 0;
    virtual int configure() = 0;
    virtual bool stop() = 0;
    virtual bool printInfo() = 0;
    virtual int recvData(unsigned char* updateMasks, void* unused) = 0;
    virtual int sendData(void* first, void* second) = 0;

    const CLogH* logger() const { return log; }

protected:
    explicit CBase(const CLogH* hostLog);
    ~CBase();
    CBase(const CBase&) = delete;
    CBase& operator=(const CBase&) = delete;

    int32_t reservedFirst; // kept in place for hosts; set to 0, never read
    bool ownsLog;
    int32_t reservedSecond; // kept in place for hosts; never touched
    CLogH* log;
    bool inputConnector;
    int32_t configureCode;
};
