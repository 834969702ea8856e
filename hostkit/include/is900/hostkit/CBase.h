// The device as a host drives it: seven virtual slots in this order, the
// boundary's own class name, so that the device a plug-in creates is a CBase
// on both sides. The plug-in creates and destroys it (createDev, deleteDev);
// a host only calls its slots.
#pragma once

#include "is900/hostkit/Records.h"

class CBase {
public:
    virtual int init(is900::hostkit::DevInitInfo* info) = 0;
    virtual bool start() = 0;
    virtual int configure() = 0;
    virtual bool stop() = 0;
    virtual bool printInfo() = 0;
    // updateMasks: two 4-byte words, trackers then controllers; bit n-1 of
    // the big-endian word marks record ID n as changed by this call.
    virtual int recvData(unsigned char* updateMasks, void* unused) = 0;
    virtual int sendData(void* first, void* second) = 0;

protected:
    ~CBase() = default;
};
