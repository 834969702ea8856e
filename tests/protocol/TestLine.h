// The serial line the port tests talk to: on POSIX a silent tracker
// simulator in this process, under Wine COM1, which the test harness maps to
// a simulator's pseudo-terminal.
#pragma once

#include "platform/serial.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

std::string silentPortName();
std::string missingPortName();

// The settings the device gives the tracker's line: raw 8N1 at the baud
// rate, no flow control, reads that give up after 1000 ms.
PortAttribute trackerAttribute(uint32_t baudRate);

// Sets the line's speed behind the port's back, as another program would.
bool setLineSpeed(const std::string& port, uint32_t baudRate);
uint32_t lineSpeed(const std::string& port);

inline testing::AssertionResult contains(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "\"" << part << "\" is not in \"" << text << "\"";
}
