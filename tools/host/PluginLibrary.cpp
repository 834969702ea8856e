#include "tools/host/PluginLibrary.h"

#include "tools/host/HostPlatform.h"

PluginLibrary::PluginLibrary(const std::string& path) {
    std::string errorText;
    library = hostplatform::openLibrary(path, errorText);
    if (!library) throw PluginError("cannot load the plug-in library '" + path + "': " + errorText);
    createFunction = reinterpret_cast<CreateDevFunction>(hostplatform::findSymbol(library, "createDev"));
    deleteFunction = reinterpret_cast<DeleteDevFunction>(hostplatform::findSymbol(library, "deleteDev"));
    if (!createFunction || !deleteFunction) {
        const std::string missing = !createFunction && !deleteFunction ? "createDev and deleteDev"
                                    : !createFunction                ? "createDev"
                                                                     : "deleteDev";
        hostplatform::closeLibrary(library);
        throw PluginError("'" + path + "' is not a device plug-in: it does not export " + missing);
    }
}

PluginLibrary::~PluginLibrary() { hostplatform::closeLibrary(library); }
