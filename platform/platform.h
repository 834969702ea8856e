// Narrow operating-system interface used by the portable core. Each backend
// (posix/, win32/) implements it in small, obvious files.
#pragma once

#include "hostkit/include/is900/hostkit/Records.h"

#include <cstdint>
#include <string>

namespace platform {

// Local time as the C runtime's millisecond clock reports it, in the layout
// it has inside the host's records.
using LocalTimeStamp = is900::hostkit::LocalTimeStamp;

unsigned long currentThreadId();
void sleepMilliseconds(unsigned long milliseconds);
LocalTimeStamp currentTime();

// Text of the calling thread's last system error (errno / GetLastError).
std::string lastErrorText();
// Text of an explicit error code as the backend's own calls return them.
std::string errorText(int code);

uint32_t hostToNetwork32(uint32_t value);
uint32_t networkToHost32(uint32_t value);

} // namespace platform
