// The tracker part of the device's configuration report. Matrix elements
// leave std::cout in fixed notation with precision 3, as later report lines
// (and the X, Y, Z values after a matrix) expect.
#include "support/CLogH.h"
#include "tracker/CTraCommonH.h"

#include <iomanip>
#include <iostream>

namespace {

const char* const blankLabel = "                      :";

void writeXyz(const Matrix4& offset) {
    std::cout << " X:" << offset[3] << " Y:" << offset[7] << " Z:" << offset[11];
}

// Rows and columns 0 to 2, the first row under the label, then an empty line.
// A station number of 0 is not written.
void writeMatrixBlock(const CLogH& log, const char* label, const Matrix4& matrix, uint32_t station) {
    for (int row = 0; row < 3; ++row) {
        log.info(row == 0 ? label : blankLabel, false);
        if (station != 0) std::cout << " " << station;
        for (int column = 0; column < 3; ++column)
            std::cout << " [" << row << "][" << column << "]:" << std::setw(6) << std::setfill(' ')
                      << std::setprecision(3) << std::setiosflags(std::ios::fixed) << matrix[4 * row + column];
        std::cout << std::endl;
    }
    std::cout << std::endl;
}

void writeSensorCorrections(const CLogH& log, const TraStation& entry, uint32_t station) {
    if (entry.sensorOffsetSet) {
        log.info("SENSOR OFFSET         :", false);
        std::cout << " " << station;
        writeXyz(entry.sensorOffset);
        std::cout << std::endl;
    }
    if (entry.sensorRotationSet) writeMatrixBlock(log, "SENSOR ROTATION       :", entry.sensorRotation, station);
    if (entry.sensorOffsetSet || entry.sensorRotationSet)
        writeMatrixBlock(log, "SENSOR TRANSFORM      :", entry.sensorTransform, station);
}

} // namespace

bool CTraCommonH::printReport() const { return printReport(true); }

bool CTraCommonH::printReport(bool withCaveLine) const {
    log->debug("CTraCommonH: \"printReport\" called.", true);
    if (withCaveLine)
        log->info(caveCoordinates ? "CAVE COORDINATES      : Used" : "CAVE COORDINATES      : Unused", true);
    if (transmitterOffsetSet) {
        log->info("TRANSMITTER OFFSET    :", false);
        writeXyz(transmitterOffset);
        std::cout << std::endl;
    }
    if (transmitterRotationSet) writeMatrixBlock(*log, "TRANSMITTER ROTATION  :", transmitterRotation, 0);
    if (transmitterOffsetSet || transmitterRotationSet)
        writeMatrixBlock(*log, "TRANSMITTER TRANSFORM :", transmitterTransform, 0);
    log->info("TRACKER ORDER         : <Real tra> -> <Output tra>", true);
    log->info(blankLabel, false);
    for (uint32_t s = 1; s <= lookupSize; ++s)
        if (lookup[s - 1].outputId != 0) std::cout << " " << s << "->" << lookup[s - 1].outputId + outputIdBase;
    std::cout << std::endl;
    for (uint32_t s = 1; s <= lookupSize; ++s)
        if (lookup[s - 1].outputId != 0) writeSensorCorrections(*log, lookup[s - 1], s);
    if (calibration) {
        log->info("CALIBRATION LIBRARY   :", false);
        std::cout << " name:" << calibrationLibrary << std::endl;
        for (uint32_t k = 0; k < calibrationArgCount; ++k) {
            log->info(blankLabel, false);
            std::cout << " arg[" << k << "]:" << calibrationArgs[k] << std::endl;
        }
    }
    return true;
}
