#include "is900/hostkit/LibraryLoader.h"
#include "is900/hostkit/SystemErrorText.h"

#include <cstring>

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

namespace is900 {
namespace hostkit {

std::string systemErrorText(unsigned long code) { return std::strerror(static_cast<int>(code)); }

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

std::string executableFolder() {
    char path[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    const std::string file = length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
    const std::size_t separator = file.find_last_of('/');
    return separator == std::string::npos ? std::string("./") : file.substr(0, separator + 1);
}

const char* pluginFileName() { return "libis900.so"; }

} // namespace hostkit
} // namespace is900
