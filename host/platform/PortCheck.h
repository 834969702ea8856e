// The host's look at a device's serial port before each bring-up, apart
// from its other operating-system services: one backend per system, and
// the in-memory line's for tests that run the host on it.
#pragma once

#include <string>

namespace hostplatform {

// Opens the serial port the way the plug-in names it ("com1", a device
// name, a path), drops what it received and nobody read, and closes it
// again: false with the reason when the port is missing or another program
// holds it. A device brought up next reads nothing of an earlier stream
// (records still on their way when the last device stopped the tracker).
bool portCanBeOpenedEmptied(const std::string& name, std::string& reason);

} // namespace hostplatform
