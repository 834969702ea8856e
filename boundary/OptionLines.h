// Conventions shared by every option parser: keyword comparison, numbers,
// safe access to the host's lines, problem reports and the unknown-option check.
#pragma once

#include "boundary/HostRecords.h"
#include "rules/OptionWords.h"

#include <cstdint>

class CLogH;

int compareNoCase(const char* a, const char* b);
int32_t parseNumber(const char* text);
// True when the word is one of the spellings, in any letter case.
bool wordIs(const char* word, const optionwords::Words& spellings);
// True when the line's keyword is the one given or one of its aliases.
bool keywordIs(const ConfigLine& line, const optionwords::Words& keyword);

// A host is outside our control: counts are capped to what the record can
// hold, and a null keyword or argument reads as an empty text.
uint32_t optionLineCount(const DevConfig& config);
uint32_t optionArgCount(const ConfigLine& line);
const char* optionKeyword(const ConfigLine& line);
const char* optionArg(const ConfigLine& line, uint32_t index);

extern const char* const incompleteOptionText; // "Incomplete option line found for "
extern const char* const tooManyArgsText;      // "Too many args found for "
extern const char* const invalidArgText;       // "Invalid arg found for "
extern const char* const invalidStringText;    // "Invalid string found for "

// Writes one problem line: the error prefix (left open), then the problem,
// the option label ("Baud at line "), the line number and ".".
void reportOptionProblem(const CLogH& log, const char* messagePrefix, const char* problem, const char* label,
                         const ConfigLine& line);

class CConfigH {
public:
    static bool checkUnusedOptions(const DevConfig* config, const CLogH* log);
};
