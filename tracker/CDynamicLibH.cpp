#include "tracker/CDynamicLibH.h"

#include "support/CLogH.h"

#include <iostream>

CDynamicLibH::CDynamicLibH(const char* libraryName, const CLogH* logger)
    : module(nullptr), ownsLog(true), log(logger ? new CLogH(*logger) : new CLogH) {
    if (!logger) log->setName("CDynamicLibH");
    log->setDebugGroup(3);
    log->debug("CDynamicLibH: \"constructor\" called.", true);
    log->debug("CDynamicLibH: \"init\" called.", true);
    if (libraryName) load(libraryName);
}

CDynamicLibH::~CDynamicLibH() {
    log->debug("CDynamicLibH: \"destructor\" called.", true);
    unload();
    if (ownsLog) delete log;
}

bool CDynamicLibH::load(const char* name) {
    log->debug("CDynamicLibH: \"load\" called.", true);
    if (!name || !*name) {
        log->error("CDynamicLibH: Library name is empty.", true);
        return false;
    }
    if (module) return false;
    module = platform::loadLibrary(name);
    if (!module) {
        log->error("CDynamicLibH: Can not load the library ", false);
        std::cout << name << std::endl;
        return false;
    }
    if (log->debugOn()) {
        log->debug("CDynamicLibH: ", false);
        std::cout << name << " library loaded." << std::endl;
    }
    return true;
}

platform::ProcAddress CDynamicLibH::getProcAddr(const char* name) {
    log->debug("CDynamicLibH: \"getProcAddr\" called.", true);
    if (!module) {
        log->error("CDynamicLibH: Library has not been loaded.", true);
        return nullptr;
    }
    return platform::findProc(module, name);
}

platform::ProcAddress CDynamicLibH::getProcAddrCached(const char* name, uint32_t slot) {
    log->debug("CDynamicLibH: \"getProcAddrCached\" called.", true);
    if (!module) {
        log->error("CDynamicLibH: Library has not been loaded.", true);
        return nullptr;
    }
    if (procCache.size() <= slot) procCache.resize(static_cast<size_t>(slot) + 1, ProcCacheEntry{nullptr, 0});
    ProcCacheEntry& entry = procCache[slot];
    if (!entry.proc && !entry.lookedUp) {
        entry.lookedUp = 1;
        entry.proc = getProcAddr(name);
    }
    return entry.proc;
}

bool CDynamicLibH::unload() {
    log->debug("CDynamicLibH: \"unload\" called.", true);
    if (module) platform::freeLibrary(module);
    module = nullptr;
    procCache.clear();
    return true;
}
