// Test kit for the controller processor: option lines written as text and
// a quiet logger without time or thread prefix.
#pragma once

#include "common/CoutCapture.h"
#include "common/OptionLinesBuilder.h"
#include "controller/CConCommonH.h"
#include "support/CLogH.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <sstream>
#include <string>

// Lines such as "buttonorder 1 8 7": the first word is the keyword, the others
// its arguments; lines are numbered from 1 unless a number is given.
class ConfigText {
public:
    ConfigText& line(const std::string& text, uint32_t lineNumber = 0) {
        std::istringstream words(text);
        std::string keyword, word;
        words >> keyword;
        builder.add(keyword, {}, lineNumber);
        ConfigLine& added = builder.line(builder.get()->lineCount - 1);
        while (words >> word) {
            argTexts.push_back(word);
            added.args[added.argCount++] = &argTexts.back()[0];
        }
        return *this;
    }

    DevConfig* get() { return builder.get(); }
    bool used(uint32_t index) { return builder.line(index).used; }

private:
    OptionLinesBuilder builder;
    std::deque<std::string> argTexts;
};

inline CLogH quietLog() {
    CLogH log;
    log.showDate = log.showTime = log.showThreadId = false;
    log.setName("T");
    return log;
}

// The device's set-up: eight stations, controllers on the given ones with
// 2 valuators and 8 buttons each, output numbers in ascending order.
inline std::unique_ptr<CConCommonH> deviceController(std::initializer_list<uint32_t> stations) {
    const CLogH log = quietLog();
    std::unique_ptr<CConCommonH> controller(new CConCommonH(&log));
    controller->outputStationCount = static_cast<uint32_t>(stations.size());
    controller->createLookup(8, true);
    uint32_t outputNumber = 0;
    for (uint32_t station : stations) controller->setStation(station, ++outputNumber, 2, 8);
    return controller;
}

inline void applyOptions(CConCommonH& controller, std::initializer_list<const char*> texts) {
    ConfigText lines;
    for (const char* text : texts) lines.line(text);
    CoutCapture console;
    const bool accepted = controller.parseOptions(lines.get());
    ASSERT_TRUE(accepted) << console.text();
}
