// In-memory library loader: knows one calibration library, built in, whose
// entry points leave the pose unchanged; every other name fails to load.
#include "platform/dynlib.h"

#include "platform/memory/MemoryLine.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace platform {

namespace {

struct MemoryLibrary {
    int loads;
};

size_t loadedLibraries = 0;

void* calibInit(char** args, int32_t argCount) {
    // Touches every argument as a real library would read them.
    size_t total = 0;
    for (int32_t i = 0; i < argCount; ++i) total += args[i] ? std::strlen(args[i]) : 0;
    return new size_t(total);
}

int32_t calibEvaluate(void* handle, float*) { return handle ? 1 : 0; }

int32_t calibExit(void* handle) {
    delete static_cast<size_t*>(handle);
    return 1;
}

struct EntryPoint {
    const char* name;
    ProcAddress address;
};

const EntryPoint entryPoints[] = {
    {"calib_init", reinterpret_cast<ProcAddress>(&calibInit)},
    {"calib_evaluate", reinterpret_cast<ProcAddress>(&calibEvaluate)},
    {"calib_exit", reinterpret_cast<ProcAddress>(&calibExit)},
};

} // namespace

namespace memory {
size_t loadedLibraryCount() { return loadedLibraries; }
} // namespace memory

LibraryHandle loadLibrary(const char* fileName) {
    if (fileName == nullptr || std::strcmp(fileName, memory::calibrationLibraryName) != 0) {
        errno = ENOENT;
        return nullptr;
    }
    ++loadedLibraries;
    return new MemoryLibrary{1};
}

ProcAddress findProc(LibraryHandle library, const char* name) {
    if (library == nullptr || name == nullptr) return nullptr;
    for (const EntryPoint& entry : entryPoints)
        if (std::strcmp(entry.name, name) == 0) return entry.address;
    return nullptr;
}

void freeLibrary(LibraryHandle library) {
    if (library == nullptr) return;
    delete static_cast<MemoryLibrary*>(library);
    --loadedLibraries;
}

} // namespace platform
