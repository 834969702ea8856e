#include "platform/platform.h"

#include <windows.h>

namespace platform {

void sleepMilliseconds(unsigned long milliseconds) { Sleep(milliseconds); }

} // namespace platform
