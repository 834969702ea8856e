// A device's option line as a host reads it from its configuration: a
// keyword and its arguments, with the line number that messages name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace is900 {
namespace hostkit {

struct OptionLine {
    uint32_t lineNumber = 0;
    std::string keyword;
    std::vector<std::string> args;
};

// Keywords and option words compare without regard to case, as whole words.
bool sameKeyword(const std::string& a, const std::string& b);

} // namespace hostkit
} // namespace is900
