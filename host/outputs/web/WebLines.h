// What the web view streams: the host's JSON lines, tracker lines with their
// orientation as a quaternion, and one "setup" line
// per device that tells the page how the room's frame is laid out.
#pragma once

#include "host/config/ConfigFile.h"
#include "host/view/RecordView.h"

#include <string>
#include <vector>

// The record's JSON line with, for a tracker, "quat":[x,y,z,w] added.
std::string webRecordLine(const RecordView& view);

// {"type":"setup","device":NAME,"cave":BOOL,"transmitter":null|{"position":[x,y,z],"axes":[[...],[...],[...]]}}
// from the device's option lines: where the transmitter correction puts the
// transmitter in the output frame (feet) and its axes there (the rows of its
// rotation), as the device reads them.
std::string webSetupLine(const std::string& device, const std::vector<OptionLine>& options);

// The key under which the web view keeps a line's newest version.
std::string webRecordKey(const RecordView& view);
