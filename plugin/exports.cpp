// The library's only two exports. IS900_EXPORT is set by the build: default
// visibility on ELF; on Windows a module-definition file names the exports.
#include "plugin/CISX00.h"

#include <new>

extern "C" IS900_EXPORT CBase* createDev(DevConfig* config, CLogH* log) {
    return new (std::nothrow) CISX00(config, log);
}

extern "C" IS900_EXPORT bool deleteDev(CBase* device) {
    if (!device) return false;
    delete static_cast<CISX00*>(device);
    return true;
}
