// Writing a device's corrections into its configuration file: the lines a
// write may carry, checked and written anew from their numbers, and the
// device's section with them in place of its old ones, every other line
// kept byte for byte.
#pragma once

#include "host/config/ConfigFile.h"

#include <string>
#include <vector>

// The lines of one write: each a transmitteroffset, transmitterrotation,
// sensoroffset or sensorrotation line (any letter case) whose arguments are
// bounded numbers (lengths within +-100 in their unit, the unit one of the
// option language's, an axis within +-100 and not zero, an angle within
// +-360, a station 1 to 8), written anew from those numbers: the keyword in
// lower case, numbers with 9 significant digits. ConfigError says which line
// is wrong and why; also for no lines, or two lines for the same correction.
std::vector<OptionLine> correctionLines(const std::vector<std::string>& texts);

// The station a sensor line names (its first argument, as the device reads
// it); 0 for any other line.
int sensorLineStation(const OptionLine& line);

// text with lines (from correctionLines) in the device's section, or in the
// whole text when section is empty:
// - transmitter lines replace every transmitteroffset, transmitterrotation
//   and transmitterrotationmatrix line, where the first of them stood, else
//   after the section's last option line;
// - a station's sensorrotation replaces its sensorrotation and
//   sensorrotationmatrix lines, likewise;
// - a station's sensoroffset replaces its sensoroffset line and goes after
//   the station's last rotation line when there is one, so that a reader
//   meets the offset in the order the device applies it.
// New lines end as the text's first line does (LF or CR LF). ConfigError
// when the text has no such section.
std::string rewriteCorrections(const std::string& text, const std::string& section,
                               const std::vector<OptionLine>& lines);

// The option lines a device runs with once its section was rewritten: the
// section's lines, with the port and capture lines of the lines it ran with
// (the host may have set them: --port, --simulate, --capture).
std::vector<OptionLine> withHostLines(std::vector<OptionLine> fromFile, const std::vector<OptionLine>& running);
