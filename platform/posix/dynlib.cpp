#include "platform/dynlib.h"

#include <dlfcn.h>

namespace platform {

LibraryHandle loadLibrary(const char* fileName) { return dlopen(fileName, RTLD_NOW | RTLD_LOCAL); }

ProcAddress findProc(LibraryHandle library, const char* name) {
    return reinterpret_cast<ProcAddress>(dlsym(library, name));
}

void freeLibrary(LibraryHandle library) { dlclose(library); }

} // namespace platform
