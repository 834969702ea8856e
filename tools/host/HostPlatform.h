// The few operating-system services the host needs, one backend per system.
#pragma once

#include <string>

namespace hostplatform {

// Opens the serial port the way the plug-in names it ("com1", a device
// name, a path) and closes it again: false with the reason when the port is
// missing or another program holds it.
bool portCanBeOpened(const std::string& name, std::string& reason);

bool standardOutputIsTerminal();
// Lets the terminal understand the cursor and clearing sequences of the table.
void prepareTerminal();
// Names the calling thread for tools that look at threads (top -H, benchmarks).
void nameThisThread(const char* name);

} // namespace hostplatform
