// Builds a host's DevConfig from option lines written as text, for tests.
#pragma once

#include "boundary/HostRecords.h"

#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

class OptionLinesBuilder {
public:
    OptionLinesBuilder() : config(new DevConfig()) { config->name = keep("is900"); }

    // Adds a line: keyword and arguments; the line number defaults to its position.
    OptionLinesBuilder& add(const std::string& keyword, const std::vector<std::string>& args = {},
                            uint32_t lineNumber = 0) {
        ConfigLine& line = config->lines[config->lineCount];
        line.lineNumber = lineNumber ? lineNumber : config->lineCount + 1;
        line.keyword = keep(keyword);
        for (const std::string& arg : args) line.args[line.argCount++] = keep(arg);
        ++config->lineCount;
        return *this;
    }

    DevConfig* get() { return config.get(); }
    ConfigLine& line(uint32_t index) { return config->lines[index]; }

private:
    char* keep(const std::string& text) {
        texts.push_back(text);
        return &texts.back()[0];
    }

    std::unique_ptr<DevConfig> config;
    std::deque<std::string> texts;
};
