// The fuzz build does not wait: the tracker's set-up and wind-down pauses
// are for a real tracker, and the in-memory line has none.
#include "platform/platform.h"

namespace platform {

void sleepMilliseconds(unsigned long) {}

} // namespace platform
