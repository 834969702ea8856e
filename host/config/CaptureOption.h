// The capture option the host gives a device for --capture DIR: a file in
// DIR named after the device and the start of the run.
#pragma once

#include "host/config/ConfigFile.h"

#include <ctime>
#include <string>
#include <vector>

// "DIR/NAME-YYYYMMDD-HHMMSS.is900cap" in local time; characters of the name
// that do not belong in a file name become '_'.
std::string captureFilePath(const std::string& folder, const std::string& deviceName, std::time_t start);
// Replaces a capture line of the device or adds one; ConfigError when the
// device's option lines are full.
void overrideCaptureOption(std::vector<OptionLine>& options, const std::string& path);
// The option lines without any capture line (a replayed capture's own).
std::vector<OptionLine> withoutCaptureOption(std::vector<OptionLine> options);
