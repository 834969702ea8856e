// The plug-in as a host sees it: its shared library loaded at run time and
// its two exports.
#pragma once

#include "boundary/CBase.h"
#include "platform/dynlib.h"

class CLogH;

class PluginLibrary {
public:
    explicit PluginLibrary(const char* fileName = IS900_PLUGIN_FILE)
        : handle(platform::loadLibrary(fileName)), createDev(nullptr), deleteDev(nullptr) {
        if (!handle) return;
        createDev = reinterpret_cast<CBase* (*)(DevConfig*, CLogH*)>(platform::findProc(handle, "createDev"));
        deleteDev = reinterpret_cast<bool (*)(CBase*)>(platform::findProc(handle, "deleteDev"));
    }
    ~PluginLibrary() {
        if (handle) platform::freeLibrary(handle);
    }
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    bool loaded() const { return createDev && deleteDev; }
    CBase* create(DevConfig* config, CLogH* log) const { return createDev(config, log); }
    bool destroy(CBase* device) const { return deleteDev(device); }

private:
    platform::LibraryHandle handle;
    CBase* (*createDev)(DevConfig*, CLogH*);
    bool (*deleteDev)(CBase*);
};
