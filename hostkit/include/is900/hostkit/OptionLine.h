// A device's option line as a host reads it from its configuration: a
// keyword and its arguments, with the line number that messages name.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace optionwords {
struct Words;
}

namespace is900 {
namespace hostkit {

struct OptionLine {
    uint32_t lineNumber = 0;
    std::string keyword;
    std::vector<std::string> args;
};

// Keywords and option words compare without regard to case, as whole words.
bool sameKeyword(const std::string& a, const std::string& b);

// The word is one of the spellings (a keyword and its aliases), in any letter case.
bool isWord(const std::string& word, const optionwords::Words& spellings);
bool isAnyWord(const std::string& word, std::initializer_list<optionwords::Words> choices);

} // namespace hostkit
} // namespace is900
