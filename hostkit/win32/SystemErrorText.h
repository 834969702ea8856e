// The system's own text for a Win32 error code, without its line end.
#pragma once

#include <string>

namespace hostkit {

std::string systemErrorText(unsigned long code);

} // namespace hostkit
