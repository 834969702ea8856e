#include "is900/hostkit/LibraryLoader.h"
#include "is900/hostkit/SystemErrorText.h"

#include <windows.h>

namespace is900 {
namespace hostkit {

std::string systemErrorText(unsigned long code) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length ? std::string(buffer, length) : "error " + std::to_string(code);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

void* openLibrary(const std::string& path, std::string& errorText) {
    HMODULE library = LoadLibraryA(path.c_str());
    if (!library) errorText = systemErrorText(GetLastError());
    return reinterpret_cast<void*>(library);
}

void* findSymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void closeLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

std::string executableFolder() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string file = length ? std::string(path, length) : std::string();
    const std::size_t separator = file.find_last_of("\\/");
    return separator == std::string::npos ? std::string(".\\") : file.substr(0, separator + 1);
}

const char* pluginFileName() { return "is900.dll"; }

} // namespace hostkit
} // namespace is900
