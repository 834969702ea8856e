#include "is900/hostkit/HostLog.h"

#include <cstring>

namespace is900 {
namespace hostkit {

namespace {

void putText(char (&slot)[CLogH::textSize], const char* text) { std::strncpy(slot, text, sizeof slot - 1); }

} // namespace

HostLog::HostLog(const char* name) {
    CLogH* log = record();
    log->enabled = true;
    putText(log->name, name ? name : "");
    putText(log->infoLabel, "INFO");
    putText(log->errorLabel, "ERROR");
    putText(log->warningLabel, "WARNING");
    putText(log->debugLabel, "DEBUG");
    log->debugThreshold = 1;
}

} // namespace hostkit
} // namespace is900
