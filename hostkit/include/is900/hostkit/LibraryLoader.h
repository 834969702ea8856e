// Loading libraries at run time and finding the running executable, one
// backend per system.
#pragma once

#include <string>

namespace is900 {
namespace hostkit {

// A loaded library or null; on failure errorText says why.
void* openLibrary(const std::string& path, std::string& errorText);
void* findSymbol(void* library, const char* name);
void closeLibrary(void* library);

// The folder of the running executable, ending in its separator.
std::string executableFolder();
// The plug-in's file name as the build names it on this system.
const char* pluginFileName();

} // namespace hostkit
} // namespace is900
