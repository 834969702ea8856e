#include "TestLine.h"

std::string silentPortName() { return "COM1"; }

std::string missingPortName() { return "no-such-folder\\is900-port"; }
