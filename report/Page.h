// The report on runs as one self-contained HTML page: a summary in words at
// the top, then for each run its options, set-up, stations, silences and
// plots of rate and noise over time.
#pragma once

#include "report/RunReading.h"

#include <string>
#include <vector>

namespace is900report {

std::string htmlPage(const std::vector<Run>& runs);

} // namespace is900report
