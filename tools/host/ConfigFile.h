// The host's configuration file: one option per line, a keyword and its
// arguments separated by blanks, double quotes around an argument that holds
// blanks, '#' to the end of the line a comment.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

struct OptionLine {
    uint32_t lineNumber = 0;
    std::string keyword;
    std::vector<std::string> args;
};

class ConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// sourceName appears in messages ("head.cfg:12: ...").
std::vector<OptionLine> parseConfigText(const std::string& text, const std::string& sourceName);
std::vector<OptionLine> readConfigFile(const std::string& path);

bool sameKeyword(const std::string& a, const std::string& b);

// Replaces the first port line with one naming portName (dropping any later
// ones), or appends such a line when there is none.
void overridePortOption(std::vector<OptionLine>& options, const std::string& portName);
