// Loader of one shared library, with a cache of entry points kept by the
// caller's slot numbers.
#pragma once

#include "platform/dynlib.h"

#include <cstdint>
#include <vector>

class CLogH;

struct ProcCacheEntry {
    platform::ProcAddress proc;
    int32_t lookedUp;
};

class CDynamicLibH {
public:
    CDynamicLibH(const char* libraryName, const CLogH* logger);
    virtual ~CDynamicLibH();
    CDynamicLibH(const CDynamicLibH&) = delete;
    CDynamicLibH& operator=(const CDynamicLibH&) = delete;

    bool load(const char* name);
    platform::ProcAddress getProcAddr(const char* name);
    // The slot alone keys the cache: name is looked up only at the slot's
    // first use, and a missing symbol stays null until unload.
    platform::ProcAddress getProcAddrCached(const char* name, uint32_t slot);
    bool unload();

    platform::LibraryHandle module;
    bool ownsLog;
    std::vector<ProcCacheEntry> procCache;
    CLogH* log;
};
