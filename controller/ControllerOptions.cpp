#include "controller/CConCommonH.h"

#include "boundary/OptionLines.h"
#include "support/CLogH.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {

const char* const invalidControllerText = "Invalid controller ID found for ";
const char* const invalidValuatorText = "Invalid valuator ID found for ";

// IDs are compared unsigned, so a negative number counts as too large.
uint32_t readId(const char* text) { return static_cast<uint32_t>(parseNumber(text)); }

bool startsWithLetter(const char* text) { return std::isalpha(static_cast<unsigned char>(text[0])) != 0; }

bool appearsLater(const ConfigLine& line, uint32_t position, uint32_t id) {
    for (uint32_t k = position + 1; k < optionArgCount(line); ++k)
        if (readId(optionArg(line, k)) == id) return true;
    return false;
}

bool allZero(const float (&values)[4]) {
    return std::all_of(values, values + 4, [](float value) { return value == 0.0f; });
}

bool allFinite(const float (&values)[4]) {
    return std::all_of(values, values + 4, [](float value) { return std::isfinite(value); });
}

} // namespace

bool CConCommonH::parseOptions(DevConfig* config) {
    log->debug("CConCommonH: \"parseOptions\" called.", true);
    if (!lookup) {
        log->error("CConCommonH: lookup Null", true);
        return false;
    }
    if (!config) {
        log->error("CConCommonH: config empty", true);
        return false;
    }
    bool failed = false;
    for (uint32_t i = 0; i < optionLineCount(*config); ++i) {
        ConfigLine& line = config->lines[i];
        bool accepted = true;
        if (keywordIs(line, optionwords::emulateTracker))
            accepted = parseEmulation(line);
        else if (keywordIs(line, optionwords::valuatorOrder) || keywordIs(line, optionwords::buttonOrder))
            accepted = parseItemOrder(line, keywordIs(line, optionwords::valuatorOrder));
        else if (keywordIs(line, optionwords::valuatorScale))
            accepted = parseValuatorScale(line);
        else if (keywordIs(line, optionwords::controllerOrder))
            accepted = parseControllerOrder(line);
        if (!accepted) failed = true;
    }
    return !failed;
}

bool CConCommonH::rejectLine(const char* problem, const char* label, const ConfigLine& line) const {
    reportOptionProblem(*log, "", problem, label, line);
    return false;
}

bool CConCommonH::parseItemOrder(ConfigLine& line, bool valuators) {
    const uint32_t argCount = optionArgCount(line);
    if (argCount == 0) return rejectLine(incompleteOptionText, "Order at line ", line);
    ConStation* entry = station(readId(optionArg(line, 0)));
    if (!entry) return rejectLine(invalidControllerText, "Order option at line ", line);
    uint32_t& count = valuators ? entry->valuatorCount : entry->buttonCount;
    uint32_t* order = valuators ? entry->valuatorOrder : entry->buttonOrder;
    const uint32_t allowed = limitToCount ? std::min(count, maxControllerItems) : maxControllerItems;

    uint32_t highest = 0;
    for (uint32_t k = 1; k < argCount; ++k) {
        const char* text = optionArg(line, k);
        const uint32_t id = readId(text);
        if (id == 0 && startsWithLetter(text)) return rejectLine(invalidArgText, "Order at line ", line);
        if (id != 0 && appearsLater(line, k, id))
            return rejectLine("Same ID found more than once in ", "Order option at line ", line);
        highest = std::max(highest, id);
    }
    if (highest > allowed) return rejectLine("Invalid ID found in ", "Order option at line ", line);

    count = highest;
    std::fill(order, order + maxControllerItems, 0u);
    for (uint32_t k = 1; k < argCount; ++k) {
        const uint32_t id = readId(optionArg(line, k));
        if (id != 0) order[id - 1] = k;
    }
    line.used = true;
    return true;
}

bool CConCommonH::parseValuatorScale(ConfigLine& line) {
    const uint32_t argCount = optionArgCount(line);
    if (argCount == 0) return rejectLine(incompleteOptionText, "ValuatorScale at line ", line);
    ConStation* entry = station(readId(optionArg(line, 0)));
    if (!entry) return rejectLine(invalidControllerText, "ValuatorScale option at line ", line);
    if (argCount < 3) return rejectLine(incompleteOptionText, "ValuatorScale at line ", line);

    float coefficients[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    const char* scaleText = optionArg(line, 1);
    if (scaleText[0] == '[') {
        std::sscanf(scaleText, "[%f,%f,%f,%f]", &coefficients[0], &coefficients[1], &coefficients[2],
                    &coefficients[3]);
        if (allZero(coefficients)) return rejectLine(incompleteOptionText, "ValuatorScale at line ", line);
    } else {
        coefficients[2] = static_cast<float>(std::strtod(scaleText, nullptr));
        if (coefficients[2] == 0.0f && startsWithLetter(scaleText))
            return rejectLine(invalidArgText, "ValuatorScale at line ", line);
    }
    // An infinite or undefined coefficient would turn every sample into garbage.
    if (!allFinite(coefficients)) return rejectLine(invalidArgText, "ValuatorScale at line ", line);

    bool selected[maxControllerItems] = {};
    for (uint32_t k = 2; k < argCount; ++k) {
        const char* text = optionArg(line, k);
        if (wordIs(text, optionwords::everyItem)) {
            std::fill(selected, selected + maxControllerItems, true);
            break;
        }
        const uint32_t id = readId(text);
        if (id == 0 || id > entry->valuatorCount || id > maxControllerItems)
            return rejectLine(invalidValuatorText, "ValuatorScale option at line ", line);
        selected[id - 1] = true;
    }
    for (uint32_t r = 0; r < maxControllerItems; ++r)
        if (selected[r]) std::copy(coefficients, coefficients + 4, entry->valuatorScale[r]);
    line.used = true;
    return true;
}

bool CConCommonH::parseEmulation(ConfigLine& line) {
    const uint32_t argCount = optionArgCount(line);
    if (argCount == 0) return rejectLine(incompleteOptionText, "EmulateTracker at line ", line);
    const uint32_t number = readId(optionArg(line, 0));
    ConStation* entry = station(number);
    if (!entry) return rejectLine(invalidControllerText, "EmulateTracker option at line ", line);
    if (argCount < 2) return rejectLine(incompleteOptionText, "EmulateTracker at line ", line);

    float pose[emulationAxes] = {};
    const char* poseText = optionArg(line, 1);
    if (poseText[0] == '[')
        std::sscanf(poseText, "[%f,%f,%f,%f,%f,%f]", &pose[0], &pose[1], &pose[2], &pose[3], &pose[4], &pose[5]);
    if (argCount < 8) return rejectLine(incompleteOptionText, "EmulateTracker at line ", line);
    if (argCount > 9) return rejectLine(tooManyArgsText, "EmulateTracker at line ", line);

    uint32_t assign[emulationAxes] = {};
    for (uint32_t axis = 0; axis < emulationAxes; ++axis) {
        assign[axis] = readId(optionArg(line, 2 + axis));
        if (assign[axis] > entry->valuatorCount || assign[axis] > maxControllerItems)
            return rejectLine(invalidValuatorText, "EmulateTracker option at line ", line);
    }
    uint32_t resetButton = 0;
    if (argCount == 9) {
        resetButton = readId(optionArg(line, 8));
        if (resetButton == 0 || resetButton > entry->buttonCount || resetButton > maxControllerItems) {
            log->error("", false);
            std::cout << "Invalid button ID found for " << "EmulateTracker option at line " << line.lineNumber
                      << ". Ignored." << std::endl;
            return false;
        }
    }
    setEmulation(number, 0, pose, assign, resetButton);
    line.used = true;
    return true;
}

bool CConCommonH::parseControllerOrder(ConfigLine& line) {
    // Stations bound to input connectors keep their order; the line is left
    // for the other parsers and the unknown-option check.
    if (inputConnector) return true;
    const uint32_t count = std::min(optionArgCount(line), outputStationCount);
    for (uint32_t i = 0; i < count; ++i)
        if (!station(readId(optionArg(line, i))))
            return rejectLine(invalidControllerText, "Order option at line ", line);
    for (uint32_t i = 0; i < lookupSize; ++i) lookup[i].outputId = 0;
    for (uint32_t i = 0; i < count; ++i) station(readId(optionArg(line, i)))->outputId = i + 1;
    line.used = true;
    return true;
}
