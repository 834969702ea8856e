// The few operating-system services the host needs, one backend per system.
#pragma once

#include <string>

namespace hostplatform {

bool standardOutputIsTerminal();
// Lets the terminal understand the cursor and clearing sequences of the table.
void prepareTerminal();
// Names the calling thread for tools that look at threads (top -H, benchmarks).
void nameThisThread(const char* name);

} // namespace hostplatform
