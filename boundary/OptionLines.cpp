#include "boundary/OptionLines.h"

#include "support/CLogH.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

const char* const incompleteOptionText = "Incomplete option line found for ";
const char* const tooManyArgsText = "Too many args found for ";
const char* const invalidArgText = "Invalid arg found for ";
const char* const invalidStringText = "Invalid string found for ";

namespace {

std::string lowerCopy(const char* text) {
    std::string copy(text ? text : "");
    for (char& c : copy) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return copy;
}

} // namespace

int compareNoCase(const char* a, const char* b) {
    const std::string left = lowerCopy(a);
    const std::string right = lowerCopy(b);
    const int order = std::strcmp(left.c_str(), right.c_str());
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

int32_t parseNumber(const char* text) {
    // Read as strtol with a 32-bit long would: out-of-range values saturate.
    const long long value = std::strtoll(text ? text : "", nullptr, 0);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

bool wordIs(const char* word, const optionwords::Words& spellings) {
    return optionwords::isOneOf(word, spellings, [](const char* a, const char* b) { return compareNoCase(a, b) == 0; });
}

bool keywordIs(const ConfigLine& line, const optionwords::Words& keyword) { return wordIs(optionKeyword(line), keyword); }

uint32_t optionLineCount(const DevConfig& config) {
    return config.lineCount > maxOptionLines ? maxOptionLines : config.lineCount;
}

uint32_t optionArgCount(const ConfigLine& line) {
    return line.argCount > maxOptionArgs ? maxOptionArgs : line.argCount;
}

const char* optionKeyword(const ConfigLine& line) { return line.keyword ? line.keyword : ""; }

const char* optionArg(const ConfigLine& line, uint32_t index) {
    if (index >= optionArgCount(line) || !line.args[index]) return "";
    return line.args[index];
}

void reportOptionProblem(const CLogH& log, const char* messagePrefix, const char* problem, const char* label,
                         const ConfigLine& line) {
    log.error(messagePrefix, false);
    std::cout << problem << label << line.lineNumber << "." << std::endl;
}

bool CConfigH::checkUnusedOptions(const DevConfig* config, const CLogH* log) {
    bool allUsed = true;
    for (uint32_t i = 0; i < optionLineCount(*config); ++i) {
        const ConfigLine& line = config->lines[i];
        if (line.used) continue;
        log->error("CConfigH: Unknown option \"", false);
        std::cout << optionKeyword(line) << "\" found at line " << line.lineNumber << "." << std::endl;
        allUsed = false;
    }
    return allUsed;
}
