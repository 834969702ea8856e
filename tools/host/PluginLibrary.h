// The device plug-in, loaded at run time, with its two entry points.
#pragma once

#include <stdexcept>
#include <string>

class CBase;
class CLogH;
struct DevConfig;

class PluginError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class PluginLibrary {
public:
    using CreateDevFunction = CBase* (*)(DevConfig*, CLogH*);
    using DeleteDevFunction = bool (*)(CBase*);

    // Throws PluginError naming the file and what is wrong with it.
    explicit PluginLibrary(const std::string& path);
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
