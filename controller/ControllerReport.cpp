#include "controller/CConCommonH.h"

#include "support/CLogH.h"

#include <iostream>

namespace {

const char* const axisNames[emulationAxes] = {"X", "Y", "Z", "Azim", "Elev", "Roll"};

void writeTerm(float coefficient, const char* power, bool& termWritten) {
    if (coefficient == 0.0f) return;
    if (termWritten && coefficient > 0.0f) std::cout << "+";
    std::cout << coefficient << power;
    termWritten = true;
}

// a*X^3 + b*X^2 + c*X + d with zero terms left out, e.g. "(0.5X^3-1X)".
void writePolynomial(const float (&scale)[4]) {
    bool termWritten = false;
    std::cout << "(";
    writeTerm(scale[0], "X^3", termWritten);
    writeTerm(scale[1], "X^2", termWritten);
    writeTerm(scale[2], "X", termWritten);
    writeTerm(scale[3], "", termWritten);
    std::cout << ")";
}

} // namespace

bool CConCommonH::printReport() const {
    log->debug("CConCommonH: \"printReport\" called.", true);
    log->info("CONTROLLER ORDER      : <Real con> -> <Output con>", true);
    log->info("                      :", false);
    for (uint32_t s = 1; s <= lookupSize; ++s)
        if (lookup[s - 1].outputId != 0) std::cout << " " << s << "->" << lookup[s - 1].outputId + outputIdBase;
    std::cout << std::endl;

    for (uint32_t s = 1; s <= lookupSize; ++s) {
        const ConStation& entry = lookup[s - 1];
        if (entry.outputId == 0) continue;
        if (entry.valuatorCount != 0) printValuators(s, entry);
        if (entry.buttonCount != 0) printButtons(s, entry);
        if (entry.emulation) printEmulation(s, *entry.emulation);
    }
    return true;
}

void CConCommonH::writeContentStart(uint32_t stationNumber) const {
    log->info("                      :", false);
    if (lookupSize != 1) std::cout << " " << stationNumber << ":";
}

void CConCommonH::printValuators(uint32_t stationNumber, const ConStation& entry) const {
    log->info("VALUATOR ORDER(SCALE) : <Real val> -> <Output val>", true);
    writeContentStart(stationNumber);
    for (uint32_t r = 1; r <= maxControllerItems; ++r) {
        if (entry.valuatorOrder[r - 1] == 0) continue;
        std::cout << " " << r << "->" << entry.valuatorOrder[r - 1];
        writePolynomial(entry.valuatorScale[r - 1]);
    }
    std::cout << std::endl;
}

void CConCommonH::printButtons(uint32_t stationNumber, const ConStation& entry) const {
    log->info("BUTTON ORDER          : <Real but> -> <Output but>", true);
    writeContentStart(stationNumber);
    for (uint32_t r = 1; r <= maxControllerItems; ++r)
        if (entry.buttonOrder[r - 1] != 0) std::cout << " " << r << "->" << entry.buttonOrder[r - 1];
    std::cout << std::endl;
}

void CConCommonH::printEmulation(uint32_t stationNumber, const TrackerEmulation& emulation) const {
    log->info("TRACKER EMULATION     :", false);
    if (lookupSize != 1)
        std::cout << " " << stationNumber << "->";
    else
        std::cout << " As ";
    std::cout << "tracker[" << emulation.tracker << "]" << std::endl;

    const float* pose = emulation.initPose;
    writeContentStart(stationNumber);
    std::cout << " Init Values:" << " X=" << pose[0] << " Y=" << pose[1] << " Z=" << pose[2] << std::endl;
    writeContentStart(stationNumber);
    std::cout << " Init Values:" << " Azim=" << pose[3] << " Elev=" << pose[4] << " Roll=" << pose[5] << std::endl;
    writeContentStart(stationNumber);
    std::cout << " Val Assign :";
    for (uint32_t axis = 0; axis < emulationAxes; ++axis)
        if (emulation.valuatorAssign[axis] != 0)
            std::cout << " " << emulation.valuatorAssign[axis] << "->" << axisNames[axis];
    std::cout << std::endl;
    if (emulation.resetButton != 0) {
        writeContentStart(stationNumber);
        std::cout << " Reset But  : " << emulation.resetButton << std::endl;
    }
}
