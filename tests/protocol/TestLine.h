// The serial line the port tests talk to: on POSIX a silent tracker
// simulator in this process, under Wine COM1, which the test harness maps to
// a simulator's pseudo-terminal.
#pragma once

#include "platform/serial.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

class CRS232H;

std::string silentPortName();
std::string missingPortName();
// False under Wine, whose serial driver lets a second handle open a port
// that another handle holds.
bool exclusiveOpenEnforced();

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

typedef std::vector<uint8_t> Bytes;

// Reads records as the plug-in does: one byte a call, from a '0' to CR LF;
// stops early when a read returns anything but one byte.
std::vector<Bytes> readRecords(CRS232H& port, std::size_t count);
float floatAt(const Bytes& record, std::size_t offset);
