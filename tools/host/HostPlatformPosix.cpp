#include "tools/host/HostPlatform.h"

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
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

namespace {

// As the plug-in's POSIX port: "comN" is /dev/ttyS<N-1>, a name with a
// slash a path, any other name a device in /dev.
std::string devicePath(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    const bool com = name.size() > 3 && name.size() < 12 && strncasecmp(name.c_str(), "com", 3) == 0 &&
                     name.find_first_not_of("0123456789", 3) == std::string::npos;
    if (com && std::stoul(name.substr(3)) >= 1) return "/dev/ttyS" + std::to_string(std::stoul(name.substr(3)) - 1);
    return "/dev/" + name;
}

} // namespace

// The plug-in locks the ports it holds, so a held port shows as busy.
bool portCanBeOpened(const std::string& name, std::string& reason) {
    const int fd = open(devicePath(name).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    int failure = fd < 0 ? errno : 0;
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) failure = errno == EWOULDBLOCK ? EBUSY : errno;
    if (fd >= 0) close(fd);
    if (failure != 0) reason = std::strerror(failure);
    return failure == 0;
}

bool standardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

void prepareTerminal() {}

} // namespace hostplatform
