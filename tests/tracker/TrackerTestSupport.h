// Test helpers of the tracker tests: a logger with a plain prefix and a
// console capture that starts from the stream's default format.
#pragma once

#include "common/CoutCapture.h"
#include "common/OptionLinesBuilder.h"
#include "support/CLogH.h"

// A logger whose lines read "T: <LABEL>: text"; debugLevel 3 shows the
// debug lines of the tracker classes.
inline CLogH plainLogger(int32_t debugLevel = 0) {
    CLogH log;
    log.showDate = log.showTime = log.showThreadId = false;
    log.setName("T");
    log.debugLevel = debugLevel;
    return log;
}

// The report leaves std::cout in fixed notation; each capture starts afresh.
class ConsoleCapture : public CoutCapture {
public:
    ConsoleCapture() {
        std::cout.flags(std::ios_base::dec | std::ios_base::skipws);
        std::cout.precision(6);
        std::cout.fill(' ');
    }
};
