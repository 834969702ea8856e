#include "tools/host/HostPlatform.h"

#include <unistd.h>

namespace hostplatform {

bool standardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

void prepareTerminal() {}

} // namespace hostplatform
