// What the web view streams: the host's JSON lines, tracker lines with their
// orientation as a quaternion, and one "setup" line
// per device that tells the page how the room's frame is laid out.
#pragma once

#include "is900/hostkit/DeviceSetup.h"
#include "host/outputs/Output.h"

#include <string>
#include <vector>

// The record's JSON line with, for a tracker, "quat":[x,y,z,w] added.
std::string webRecordLine(const PublishedRecord& record);

// {"type":"setup","device":NAME,"cave":BOOL,"transmitter":null|{"position":[x,y,z],"axes":[[...],[...],[...]]}}
// from the device's set-up: where the transmitter correction puts the
// transmitter in the output frame (feet) and its axes there (the rows of its
// rotation).
std::string webSetupLine(const std::string& device, const is900::hostkit::DeviceSetup& setup);

// The key under which the web view keeps a line's newest version.
std::string webRecordKey(const RecordView& view);
