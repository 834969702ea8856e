#include "tools/host/HostPlatform.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

namespace hostplatform {

void* openLibrary(const std::string& path, std::string& errorText) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* text = dlerror();
        errorText = text ? text : "unknown error";
    }
    return library;
}

void* findSymbol(void* library, const char* name) { return dlsym(library, name); }

void closeLibrary(void* library) { dlclose(library); }

std::string defaultPluginPath() {
    char path[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string folder = length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string(".");
    folder = folder.substr(0, folder.find_last_of('/'));
    return folder + "/libis900.so";
}

bool standardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

void prepareTerminal() {}

} // namespace hostplatform
