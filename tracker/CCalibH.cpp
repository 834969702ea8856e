#include "tracker/CCalibH.h"

#include "support/CLogH.h"
#include "tracker/HeapText.h"

namespace {

const uint32_t initSlot = 0;
const uint32_t evaluateSlot = 1;
const uint32_t exitSlot = 3;

} // namespace

CCalibH::CCalibH(const char* libraryName, const CLogH* logger)
    : CDynamicLibH(libraryName, logger), handle(nullptr), initArgs(), initArgCount(0), handleOpen(false) {
    if (!logger) log->setName("CCalibH");
    log->debug("CCalibH: \"init\" called.", true);
}

CCalibH::~CCalibH() {
    log->debug("CCalibH: \"destructor\" called.", true);
    // calib_exit is exit's work; copies still held are only released here.
    freeInitArgs();
}

bool CCalibH::init(char* const* args, int32_t argCount) {
    log->debug("CCalibH: \"init\" called.", true);
    const auto entry = reinterpret_cast<CalibInitEntry>(getProcAddrCached("calib_init", initSlot));
    freeInitArgs();
    const bool argsUsable = argCount >= 0 && argCount <= maxArgs && (args || argCount == 0);
    if (argsUsable) {
        for (int32_t i = 0; i < argCount; ++i) initArgs[i] = heapCopy(args[i]);
        initArgCount = argCount;
    }
    if (!entry || !argsUsable) {
        log->debug("CCalibH: could not call \"calib_init\".", true);
        return false;
    }
    handle = entry(initArgs, initArgCount);
    handleOpen = true;
    log->debug("CCalibH: \"calib_init\" called.", true);
    return true;
}

bool CCalibH::evaluate(float pose[6]) {
    const auto entry = reinterpret_cast<CalibEvaluateEntry>(getProcAddrCached("calib_evaluate", evaluateSlot));
    if (!entry) return false;
    entry(handle, pose);
    return true;
}

bool CCalibH::exit() {
    log->debug("CCalibH: \"exit\" called.", true);
    const auto entry = reinterpret_cast<CalibExitEntry>(getProcAddrCached("calib_exit", exitSlot));
    freeInitArgs();
    if (!entry) {
        log->debug("CCalibH: could not call \"calib_exit\".", true);
        return false;
    }
    if (!handleOpen) return true;
    handleOpen = false;
    entry(handle);
    log->debug("CCalibH: \"calib_exit\" called.", true);
    return true;
}

void CCalibH::freeInitArgs() {
    for (int32_t i = 0; i < initArgCount; ++i) {
        delete[] initArgs[i];
        initArgs[i] = nullptr;
    }
    initArgCount = 0;
}
