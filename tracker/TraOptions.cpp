// The tracker options among the device's option lines.
#include "boundary/OptionLines.h"
#include "support/CLogH.h"
#include "tracker/CCalibH.h"
#include "tracker/CTraCommonH.h"
#include "tracker/HeapText.h"
#include "tracker/PoseTransform.h"

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

const char* const invalidUnitText = "Invalid unit found for ";
const char* const invalidTrackerIdText = "Invalid tracker ID found for ";
const char* const orderRefusalText = "Can not change the order on input connector at line ";


// A number as strtod reads it. A word (0 read from a text starting with a
// letter) is refused, and so is anything a float cannot hold (inf, nan, 1e39).
bool readReal(const char* text, float& value) {
    const double parsed = std::strtod(text, nullptr);
    if (parsed == 0 && std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    if (!std::isfinite(parsed) || std::fabs(parsed) > FLT_MAX) return false;
    value = static_cast<float>(parsed);
    return true;
}

// One option line being checked; every failed check reports the line.
class OptionReader {
public:
    OptionReader(const CLogH& log, const ConfigLine& line, const char* label) : log(log), line(line), label(label) {}

    uint32_t count() const { return optionArgCount(line); }
    const char* arg(uint32_t index) const { return optionArg(line, index); }

    bool fail(const char* reason) const {
        reportOptionProblem(log, "", reason, label, line);
        return false;
    }

    bool readValues(uint32_t first, uint32_t howMany, float* values) const {
        for (uint32_t i = 0; i < howMany; ++i)
            if (!readReal(arg(first + i), values[i])) return fail(invalidArgText);
        return true;
    }

    bool readStation(uint32_t index, uint32_t lookupSize, uint32_t& station) const {
        const int32_t number = parseNumber(arg(index));
        if (number < 1 || static_cast<uint32_t>(number) > lookupSize) return fail(invalidTrackerIdText);
        station = static_cast<uint32_t>(number);
        return true;
    }

    // An optional unit word at index; without one the values are in feet.
    bool readUnit(uint32_t index, const char* reason, float& factor) const {
        factor = 1.0f;
        if (index >= count()) return true;
        for (const optionwords::LengthUnit& unit : optionwords::lengthUnits) {
            if (compareNoCase(arg(index), unit.word) == 0) {
                factor = unit.feet;
                return true;
            }
        }
        return fail(reason);
    }

    // Station-bound options: the station comes first, before the count checks.
    bool readStationAndCount(uint32_t lookupSize, uint32_t minArgs, uint32_t maxArgs, uint32_t& station) const {
        if (count() == 0) return fail(incompleteOptionText);
        if (!readStation(0, lookupSize, station)) return false;
        if (count() < minArgs) return fail(incompleteOptionText);
        if (count() > maxArgs) return fail(tooManyArgsText);
        return true;
    }

    bool checkCount(uint32_t minArgs, uint32_t maxArgs) const {
        if (count() < minArgs) return fail(incompleteOptionText);
        if (count() > maxArgs) return fail(tooManyArgsText);
        return true;
    }

private:
    const CLogH& log;
    const ConfigLine& line;
    const char* label;
};


// Nine matrix values, or an axis and an angle. After an earlier failure the
// angle is not examined.
uint32_t valuesChecked(bool asMatrix, bool errorSet) { return asMatrix ? 9 : (errorSet ? 3 : 4); }

Matrix4 rotationFrom(const float* values, bool asMatrix) {
    return asMatrix ? rowsMatrix(values) : axisAngleMatrix(values[0], values[1], values[2], values[3]);
}

CTraCommonH::OptionOutcome refuse(const OptionReader& reader, const char* reason) {
    reader.fail(reason);
    return CTraCommonH::OptionOutcome::failed;
}

} // namespace

bool CTraCommonH::parseOptions(DevConfig* config) {
    log->debug("CTraCommonH: \"parseOptions\" called.", true);
    if (!lookup) {
        log->error("CTraCommonH: lookup is Null.", true);
        return false;
    }
    if (!config) {
        log->error("CTraCommonH: config is empty.", true);
        return false;
    }
    bool errorSet = false;
    for (uint32_t i = 0; i < optionLineCount(*config); ++i) {
        ConfigLine& line = config->lines[i];
        const OptionOutcome outcome = parseLine(line, errorSet);
        if (outcome == OptionOutcome::applied) line.used = true;
        if (outcome == OptionOutcome::failed) errorSet = true;
    }
    return !errorSet;
}

CTraCommonH::OptionOutcome CTraCommonH::parseLine(const ConfigLine& line, bool errorSet) {
    if (keywordIs(line, optionwords::transmitterOffset)) return parseTransmitterOffset(line, errorSet);
    if (keywordIs(line, optionwords::transmitterRotation)) return parseTransmitterRotation(line, errorSet, false);
    if (keywordIs(line, optionwords::transmitterRotationMatrix)) return parseTransmitterRotation(line, errorSet, true);
    if (keywordIs(line, optionwords::sensorOffset)) return parseSensorPosition(line, errorSet, false);
    if (keywordIs(line, optionwords::sensorTranslation)) return parseSensorPosition(line, errorSet, true);
    if (keywordIs(line, optionwords::sensorRotation)) return parseSensorRotation(line, errorSet, false);
    if (keywordIs(line, optionwords::sensorRotationMatrix)) return parseSensorRotation(line, errorSet, true);
    if (keywordIs(line, optionwords::calibration)) return parseCalibration(line);
    if (keywordIs(line, optionwords::trackerOrder))
        return parseOrder(line);
    if (inputConnector && keywordIs(line, optionwords::caveCoordinates))
        return parseCave(line);
    return OptionOutcome::notTracker;
}

CTraCommonH::OptionOutcome CTraCommonH::parseTransmitterOffset(const ConfigLine& line, bool errorSet) {
    const OptionReader reader(*log, line, "TransmitterOffset at line ");
    float xyz[3], factor;
    if (!reader.checkCount(3, 4) || !reader.readValues(0, 3, xyz)) return OptionOutcome::failed;
    if (errorSet) return OptionOutcome::checkedOnly;
    if (!reader.readUnit(3, invalidStringText, factor)) return OptionOutcome::failed;
    for (float& value : xyz) value *= factor;
    if (xyz[0] == 0 && xyz[1] == 0 && xyz[2] == 0) return OptionOutcome::applied;
    transmitterOffset = offsetMatrix(xyz[0], xyz[1], xyz[2]);
    transmitterTransform = composeTransform(transmitterRotation, transmitterOffset);
    transmitterOffsetSet = true;
    return OptionOutcome::applied;
}

CTraCommonH::OptionOutcome CTraCommonH::parseTransmitterRotation(const ConfigLine& line, bool errorSet,
                                                                 bool asMatrix) {
    const OptionReader reader(*log, line,
                              asMatrix ? "TransmitterRotationMatrix at line " : "TransmitterRotation at line ");
    const uint32_t argCount = asMatrix ? 9 : 4;
    float values[9];
    if (!reader.checkCount(argCount, argCount) || !reader.readValues(0, valuesChecked(asMatrix, errorSet), values))
        return OptionOutcome::failed;
    if (errorSet) return OptionOutcome::checkedOnly;
    transmitterRotation = rotationFrom(values, asMatrix);
    transmitterTransform = composeTransform(transmitterRotation, transmitterOffset);
    transmitterRotationSet = true;
    return OptionOutcome::applied;
}

CTraCommonH::OptionOutcome CTraCommonH::parseSensorPosition(const ConfigLine& line, bool errorSet,
                                                            bool isTranslation) {
    const OptionReader reader(*log, line, isTranslation ? "SensorTranslation at line " : "SensorOffset at line ");
    uint32_t number = 0;
    float xyz[3], factor;
    if (!reader.readStationAndCount(lookupSize, 4, 5, number) || !reader.readValues(1, 3, xyz))
        return OptionOutcome::failed;
    if (errorSet) return OptionOutcome::checkedOnly;
    if (!reader.readUnit(4, invalidUnitText, factor)) return OptionOutcome::failed;
    for (float& value : xyz) value *= factor;
    TraStation& entry = lookup[number - 1];
    if (isTranslation) {
        for (int i = 0; i < 3; ++i) entry.sensorTranslation[i] = xyz[i];
        entry.sensorTranslationSet = true;
    } else {
        entry.sensorOffset = offsetMatrix(xyz[0], xyz[1], xyz[2]);
        entry.sensorTransform = composeTransform(entry.sensorRotation, entry.sensorOffset);
        entry.sensorOffsetSet = true;
    }
    return OptionOutcome::applied;
}

CTraCommonH::OptionOutcome CTraCommonH::parseSensorRotation(const ConfigLine& line, bool errorSet, bool asMatrix) {
    const OptionReader reader(*log, line, asMatrix ? "SensorRotationMatrix at line " : "SensorRotation at line ");
    const uint32_t argCount = asMatrix ? 10 : 5;
    uint32_t number = 0;
    float values[9];
    if (!reader.readStationAndCount(lookupSize, argCount, argCount, number) ||
        !reader.readValues(1, valuesChecked(asMatrix, errorSet), values))
        return OptionOutcome::failed;
    if (errorSet) return OptionOutcome::checkedOnly;
    TraStation& entry = lookup[number - 1];
    entry.sensorRotation = rotationFrom(values, asMatrix);
    entry.sensorTransform = composeTransform(entry.sensorRotation, entry.sensorOffset);
    entry.sensorRotationSet = true;
    return OptionOutcome::applied;
}

CTraCommonH::OptionOutcome CTraCommonH::parseCalibration(const ConfigLine& line) {
    const OptionReader reader(*log, line, "Calibration at line ");
    const uint32_t n = reader.count();
    if (n == 0) return refuse(reader, incompleteOptionText);
    const char* library = reader.arg(0);
    // The name must fit calibrationLibrary; a longer one is refused whole.
    if (std::strlen(library) >= calibrationLibrarySize) return refuse(reader, invalidStringText);
    if (n - 1 > maxCalibrationArgs) return refuse(reader, tooManyArgsText);
    releaseCalibration();
    std::strcpy(calibrationLibrary, library);
    calibrationArgCount = n - 1;
    calibration = new CCalibH(calibrationLibrary, log);
    for (uint32_t k = 0; k < calibrationArgCount; ++k) calibrationArgs[k] = heapCopy(reader.arg(k + 1));
    return OptionOutcome::applied;
}

CTraCommonH::OptionOutcome CTraCommonH::parseOrder(const ConfigLine& line) {
    const OptionReader reader(*log, line, "Order at line ");
    if (inputConnector) {
        reportOptionProblem(*log, "", orderRefusalText, "", line);
        return OptionOutcome::failed;
    }
    const uint32_t named = reader.count() < outputStationCount ? reader.count() : outputStationCount;
    uint32_t number = 0;
    for (uint32_t i = 0; i < named; ++i)
        if (!reader.readStation(i, lookupSize, number)) return OptionOutcome::failed;
    for (uint32_t s = 0; s < lookupSize; ++s) lookup[s].outputId = 0;
    for (uint32_t i = 0; i < named; ++i) {
        reader.readStation(i, lookupSize, number);
        lookup[number - 1].outputId = i + 1;
    }
    return OptionOutcome::applied;
}

CTraCommonH::OptionOutcome CTraCommonH::parseCave(const ConfigLine& line) {
    const OptionReader reader(*log, line, "CAVECoord at line ");
    if (!reader.checkCount(1, 1)) return OptionOutcome::failed;
    const char* word = reader.arg(0);
    if (wordIs(word, optionwords::switchedOn)) {
        caveCoordinates = true;
    } else if (wordIs(word, optionwords::switchedOff)) {
        caveCoordinates = false;
    } else {
        return refuse(reader, invalidStringText);
    }
    return OptionOutcome::applied;
}
