// The host's look at a port, on the in-memory line: the line is opened by
// its name, what it holds unread is dropped, and it is closed again.
#include "host/platform/PortCheck.h"
#include "platform/platform.h"
#include "platform/serial.h"

namespace hostplatform {

bool portCanBeOpenedEmptied(const std::string& name, std::string& reason) {
    const platform::SerialHandle line = platform::openSerial(name.c_str());
    if (line == platform::invalidSerialHandle()) {
        reason = platform::lastErrorText();
        return false;
    }
    platform::discardSerialInput(line);
    platform::closeSerial(line);
    return true;
}

} // namespace hostplatform
