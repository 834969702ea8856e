// The few operating-system services the host needs, one backend per system.
#pragma once

#include <string>

namespace hostplatform {

// A loaded library or null; on failure errorText says why.
void* openLibrary(const std::string& path, std::string& errorText);
void* findSymbol(void* library, const char* name);
void closeLibrary(void* library);

// The plug-in as the build names it, beside the running executable.
std::string defaultPluginPath();

bool standardOutputIsTerminal();
// Lets the terminal understand the cursor and clearing sequences of the table.
void prepareTerminal();

} // namespace hostplatform
