#include "is900/hostkit/PluginLibrary.h"

#include "is900/hostkit/LibraryLoader.h"

#include <fstream>

namespace is900 {
namespace hostkit {

std::string defaultPluginPath() {
    const std::string folder = executableFolder();
    const std::string beside = folder + pluginFileName();
    const std::string installed = folder + "../lib/is900/" + pluginFileName();
    if (!std::ifstream(beside) && std::ifstream(installed)) return installed;
    return beside;
}

PluginLibrary::PluginLibrary(const std::string& path) {
    std::string errorText;
    library = openLibrary(path, errorText);
    if (!library) throw PluginError("cannot load the plug-in library '" + path + "': " + errorText);
    createFunction = reinterpret_cast<CreateDevFunction>(findSymbol(library, "createDev"));
    deleteFunction = reinterpret_cast<DeleteDevFunction>(findSymbol(library, "deleteDev"));
    if (!createFunction || !deleteFunction) {
        const std::string missing = !createFunction && !deleteFunction ? "createDev and deleteDev"
                                    : !createFunction                ? "createDev"
                                                                     : "deleteDev";
        closeLibrary(library);
        throw PluginError("'" + path + "' is not a device plug-in: it does not export " + missing);
    }
}

PluginLibrary::~PluginLibrary() {
    if (library) closeLibrary(library);
}

} // namespace hostkit
} // namespace is900
