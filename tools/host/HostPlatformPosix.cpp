#include "tools/host/HostPlatform.h"

#include <pthread.h>
#include <unistd.h>

namespace hostplatform {

bool standardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

void prepareTerminal() {}

void nameThisThread(const char* name) { pthread_setname_np(pthread_self(), name); }

} // namespace hostplatform
