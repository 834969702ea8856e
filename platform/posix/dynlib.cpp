#include "platform/dynlib.h"

#include <dlfcn.h>

#include <cstring>
#include <string>

namespace platform {

namespace {

// The folder of the file this function was loaded from (the plug-in's own
// library, or the executable that links the core), with its final '/';
// empty when the system cannot tell.
std::string ownFolder() {
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&ownFolder), &info) == 0 || !info.dli_fname) return "";
    const std::string file = info.dli_fname;
    const std::size_t slash = file.rfind('/');
    return slash == std::string::npos ? "" : file.substr(0, slash + 1);
}

LibraryHandle open(const char* fileName) { return dlopen(fileName, RTLD_NOW | RTLD_LOCAL); }

} // namespace

// A bare name is looked for beside the plug-in first, from any current
// folder: the run path $ORIGIN would find it there too, but not where dlopen
// is intercepted (AddressSanitizer). Then the system's own search.
LibraryHandle loadLibrary(const char* fileName) {
    if (std::strchr(fileName, '/')) return open(fileName);
    const std::string folder = ownFolder();
    if (!folder.empty())
        if (LibraryHandle beside = open((folder + fileName).c_str())) return beside;
    return open(fileName);
}

ProcAddress findProc(LibraryHandle library, const char* name) {
    return reinterpret_cast<ProcAddress>(dlsym(library, name));
}

void freeLibrary(LibraryHandle library) { dlclose(library); }

} // namespace platform
