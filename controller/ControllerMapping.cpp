#include "controller/CConCommonH.h"

#include "storage/ConData.h"

#include <algorithm>
#include <cstring>

namespace {

const int32_t maxRawStation = 8;
const uint32_t rawButtonBits = 8;
const uint32_t rawValuatorCount = 2;
const uint32_t maskBytes = 4;

} // namespace

uint32_t CConCommonH::recordId(int32_t stationNumber) const {
    if (stationNumber < 1 || stationNumber > maxRawStation) return 0;
    const ConStation* entry = station(static_cast<uint32_t>(stationNumber));
    if (!entry || entry->outputId == 0) return 0;
    return entry->outputId + outputIdBase;
}

float CConCommonH::normalizeValuator(unsigned char raw) {
    const int offset = raw - 127;
    return static_cast<float>(raw > 127 ? offset / 128.0 : offset / 127.0);
}

float CConCommonH::scaleValuator(uint32_t stationNumber, uint32_t valuator, float x) const {
    const ConStation* entry = station(stationNumber);
    if (!entry || valuator == 0 || valuator > maxControllerItems) return 0.0f;
    const float(&scale)[4] = entry->valuatorScale[valuator - 1];
    const double value = x;
    const double square = value * value;
    const double cube = value * square;
    const double result = ((scale[0] * cube + scale[1] * square) + scale[2] * value) + scale[3];
    return static_cast<float>(result);
}

bool CConCommonH::mapSample(int32_t stationNumber, unsigned char buttons, unsigned char joystickX,
                            unsigned char joystickY, ConData& record) const {
    const uint32_t id = recordId(stationNumber);
    if (id < 1 || id > maxControllerItems) return false;
    const uint32_t number = static_cast<uint32_t>(stationNumber);
    const ConStation& entry = lookup[number - 1];

    // One working record serves every station: clearing it keeps another
    // station's buttons and valuators out of outputs this station leaves empty.
    record.clear();
    record.stampTime();
    record.setId(id);
    record.setValNumber(entry.valuatorCount);
    record.setButNumber(entry.buttonCount);

    for (uint32_t r = 1; r <= std::min(entry.buttonCount, rawButtonBits); ++r)
        record.setBut(entry.buttonOrder[r - 1], (buttons >> (r - 1)) & 1);

    const float normalized[rawValuatorCount] = {normalizeValuator(joystickX), normalizeValuator(joystickY)};
    for (uint32_t r = 1; r <= std::min(entry.valuatorCount, rawValuatorCount); ++r)
        record.setVal(entry.valuatorOrder[r - 1], scaleValuator(number, r, normalized[r - 1]));
    return true;
}

bool CConCommonH::clearUpdateMask(unsigned char* mask) {
    if (!mask) return false;
    std::memset(mask, 0, maskBytes);
    return true;
}

bool CConCommonH::markUpdated(unsigned char* mask, uint32_t id) {
    if (!mask || id == 0 || id > maxControllerItems) return false;
    const uint32_t bit = id - 1;
    mask[maskBytes - 1 - bit / 8] |= static_cast<unsigned char>(1u << (bit % 8));
    return true;
}
