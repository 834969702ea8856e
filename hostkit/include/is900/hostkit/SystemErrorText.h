// The system's own text for an error code (errno on POSIX, GetLastError on
// Windows), without its line end.
#pragma once

#include <string>

namespace is900 {
namespace hostkit {

std::string systemErrorText(unsigned long code);

} // namespace hostkit
} // namespace is900
