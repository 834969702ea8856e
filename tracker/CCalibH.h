// Client of a calibration library: a shared library exporting the C entry
// points calib_init, calib_evaluate and calib_exit.
#pragma once

#include "tracker/CDynamicLibH.h"

#include <cstdint>

using CalibInitEntry = void* (*)(char** args, int32_t argCount);
using CalibEvaluateEntry = int32_t (*)(void* handle, float* pose);
using CalibExitEntry = int32_t (*)(void* handle);

class CCalibH : public CDynamicLibH {
public:
    static const int maxArgs = 10;

    CCalibH(const char* libraryName, const CLogH* logger);
    ~CCalibH() override;

    // Hands the library its own copies of the arguments and keeps the handle
    // calib_init returns.
    bool init(char* const* args, int32_t argCount);
    // Lets the library correct the six pose values (feet, degrees) in place.
    bool evaluate(float pose[6]);
    bool exit();

    void* handle;
    char* initArgs[maxArgs];
    int32_t initArgCount;
    // True between a calib_init call and the exit that ends it, so that
    // calib_exit never sees a handle twice.
    bool handleOpen;

private:
    void freeInitArgs();
};
