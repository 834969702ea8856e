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

// Opens the serial port the way the plug-in names it ("com1", a device
// name, a path) and closes it again: false with the reason when the port is
// missing or another program holds it.
bool portCanBeOpened(const std::string& name, std::string& reason);

bool standardOutputIsTerminal();
// Lets the terminal understand the cursor and clearing sequences of the table.
void prepareTerminal();

} // namespace hostplatform
