// A logger record filled byte by byte the way a host fills it, so that the
// host needs none of the plug-in's code: plain lines, no time or thread id.
#pragma once

#include "is900/hostkit/Records.h"

namespace is900 {
namespace hostkit {

class HostLog {
public:
    explicit HostLog(const char* name);
    HostLog(const HostLog&) = delete;
    HostLog& operator=(const HostLog&) = delete;

    CLogH* record() { return reinterpret_cast<CLogH*>(bytes); }

private:
    alignas(CLogH) unsigned char bytes[sizeof(CLogH)] = {};
};

} // namespace hostkit
} // namespace is900
