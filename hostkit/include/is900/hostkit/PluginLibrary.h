// The device plug-in, loaded at run time, with its two entry points.
#pragma once

#include <stdexcept>
#include <string>

#include "is900/hostkit/Records.h"

// The device a plug-in creates; CBase.h declares its slots.
class CBase;

namespace is900 {
namespace hostkit {

class PluginError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The plug-in a host or benchmark uses by default: beside the running
// executable, else in ../lib/is900/ relative to it (an installed or unpacked
// tree); the first of the two when neither exists, so errors name it.
std::string defaultPluginPath();

class PluginLibrary {
public:
    using CreateDevFunction = CBase* (*)(DevConfig*, CLogH*);
    using DeleteDevFunction = bool (*)(CBase*);

    // Throws PluginError naming the file and what is wrong with it.
    explicit PluginLibrary(const std::string& path);
    // A plug-in linked into the program: its two entry points, no library.
    PluginLibrary(CreateDevFunction create, DeleteDevFunction destroy)
        : createFunction(create), deleteFunction(destroy) {}
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    CBase* createDev(DevConfig* config, CLogH* log) const { return createFunction(config, log); }
    bool deleteDev(CBase* device) const { return deleteFunction(device); }

private:
    void* library = nullptr;
    CreateDevFunction createFunction = nullptr;
    DeleteDevFunction deleteFunction = nullptr;
};

} // namespace hostkit
} // namespace is900
