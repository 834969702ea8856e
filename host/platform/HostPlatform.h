// The few operating-system services the host needs, one backend per system.
#pragma once

#include <cstdio>
#include <string>

namespace hostplatform {

// Opens the serial port the way the plug-in names it ("com1", a device
// name, a path) and closes it again: false with the reason when the port is
// missing or another program holds it.
bool portCanBeOpened(const std::string& name, std::string& reason);

bool standardOutputIsTerminal();
// Lets the terminal understand the cursor and clearing sequences of the table.
void prepareTerminal();
// Keeps a copy of standard output for the host's data and points the
// process's standard output (where the plug-in logs) at standard error, or
// at nothing when discard is set. A reader that goes away makes writes to the
// copy fail instead of raising SIGPIPE.
std::FILE* keepStandardOutputForData(bool discard);
// Names the calling thread, so that tools can tell the receiving thread apart.
void nameThisThread(const char* name);

} // namespace hostplatform
