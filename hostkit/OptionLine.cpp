#include "is900/hostkit/OptionLine.h"

#include "rules/OptionWords.h"

#include <cctype>

namespace is900 {
namespace hostkit {

bool sameKeyword(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool isWord(const std::string& word, const optionwords::Words& spellings) {
    return optionwords::isOneOf(word, spellings, sameKeyword);
}

bool isAnyWord(const std::string& word, std::initializer_list<optionwords::Words> choices) {
    for (const optionwords::Words& spellings : choices)
        if (isWord(word, spellings)) return true;
    return false;
}

} // namespace hostkit
} // namespace is900
