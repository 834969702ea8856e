#include "protocol/CommandSteps.h"

#include "platform/platform.h"
#include "protocol/CRS232H.h"
#include "support/CLogH.h"

#include <cstring>
#include <iostream>

namespace {

const char resetCommand[] = "\x19";
const char stationResets[] = "R1\rR2\rR3\rR4\rR5\rR6\rR7\rR8\r";
const char caveAlignment[] = "A1,0,0,0,0,0,-200,200,0,0\rA2,0,0,0,0,0,-200,200,0,0\r"
                             "A3,0,0,0,0,0,-200,200,0,0\rA4,0,0,0,0,0,-200,200,0,0\r"
                             "A5,0,0,0,0,0,-200,200,0,0\rA6,0,0,0,0,0,-200,200,0,0\r"
                             "A7,0,0,0,0,0,-200,200,0,0\rA8,0,0,0,0,0,-200,200,0,0\r";
const char defaultAlignment[] = "A1,0,0,0,200,0,0,0,200,0\rA2,0,0,0,200,0,0,0,200,0\r"
                                "A3,0,0,0,200,0,0,0,200,0\rA4,0,0,0,200,0,0,0,200,0\r"
                                "A5,0,0,0,200,0,0,0,200,0\rA6,0,0,0,200,0,0,0,200,0\r"
                                "A7,0,0,0,200,0,0,0,200,0\rA8,0,0,0,200,0,0,0,200,0\r";
const char trackerFormat[] = "O1,2,4,1\r";
const char controllerFormat[] = "O1,22,23,1\r";
const char combinedFormat[] = "O1,2,4,22,23,1\r";

uint32_t textLength(const char* text) { return static_cast<uint32_t>(std::strlen(text)); }

} // namespace

IS900CommandSteps::IS900CommandSteps(CRS232H* port, const CLogH* log)
    : sleep([](unsigned long milliseconds) { platform::sleepMilliseconds(milliseconds); }), port(port), log(log), quietFailures(false) {}

bool IS900CommandSteps::writeAll(const char* bytes, uint32_t length) {
    return port->writeData(bytes, length) == length;
}

bool IS900CommandSteps::finishStep(const StepTexts& texts, bool written) {
    if (!written) {
        const bool errors = !quietFailures;
        if (texts.couldNot) (errors ? log->error(texts.couldNot, true) : log->debug(texts.couldNot, true));
        (texts.couldNot || !errors ? log->debug(texts.failed, true) : log->error(texts.failed, true));
        return false;
    }
    if (texts.waitMs > 0) sleep(texts.waitMs);
    log->debug(texts.done, true);
    return true;
}

bool IS900CommandSteps::runStep(const StepTexts& texts, const char* bytes, uint32_t length) {
    log->debug(texts.start, true);
    return finishStep(texts, writeAll(bytes, length));
}

bool IS900CommandSteps::writeAlignment(const StepTexts& texts, const char* alignment) {
    log->debug(texts.start, true);
    if (!writeAll(stationResets, textLength(stationResets))) return false;
    return finishStep(texts, writeAll(alignment, textLength(alignment)));
}

bool IS900CommandSteps::resetTracker() {
    static const StepTexts texts = {"CISX00: Resetting.", "CISX00: Reset done.", nullptr,
                                    "CISX00: Resetting failed.", resetWaitMs};
    return runStep(texts, resetCommand, 1);
}

bool IS900CommandSteps::setAlignment() {
    static const StepTexts texts = {"CISX00: Setting alignment.", "CISX00: Setting alignment done.",
                                    "CISX00: Could not set alignment.", "CISX00: Setting alignment failed.",
                                    alignmentWaitMs};
    return writeAlignment(texts, caveAlignment);
}

bool IS900CommandSteps::resetAlignment() {
    static const StepTexts texts = {"CISX00: Resetting alignment.", "CISX00: Resetting alignment done.",
                                    "CISX00: Could not reset alignment.", "CISX00: Resetting alignment failed.",
                                    alignmentWaitMs};
    return writeAlignment(texts, defaultAlignment);
}

bool IS900CommandSteps::setDataFormat(uint32_t station, bool tracker, bool controller) {
    static const StepTexts texts = {nullptr, "CISX00: Setting data format done.", "CISX00: Could not set data format.",
                                    "CISX00: Setting data format failed.", 0};
    char command[sizeof combinedFormat];
    const char* format = tracker && controller ? combinedFormat : controller ? controllerFormat : trackerFormat;
    std::strcpy(command, format);
    if (station >= 2 && station <= 8) command[1] = static_cast<char>('0' + station);
    if (log->debugOn()) {
        log->debug("CISX00: Setting data format for station ", false);
        const char* kind = tracker && controller ? " (Tracker and Controller)." : controller ? " (Controller)." : " (Tracker).";
        std::cout << station << kind << std::endl;
    }
    return finishStep(texts, writeAll(command, textLength(command)));
}

bool IS900CommandSteps::setBinaryMode() {
    static const StepTexts texts = {"CISX00: Setting BINARY mode.", "CISX00: Setting BINARY mode done.",
                                    "CISX00: Could not set BINARY mode.", "CISX00: Setting BINARY mode failed.", 0};
    return runStep(texts, "f", 1);
}

bool IS900CommandSteps::startContinuous() {
    static const StepTexts texts = {"CISX00: Starting continuous mode.", "CISX00: Starting continuous mode done.",
                                    "CISX00: Could not start continuous mode.",
                                    "CISX00: Starting continuous mode failed.", 0};
    return runStep(texts, "C", 1);
}

bool IS900CommandSteps::stopContinuous() {
    static const StepTexts texts = {"CISX00: Stopping continuous mode.", "CISX00: Stopping continuous mode done.",
                                    "CISX00: Could not stop continuous mode.",
                                    "CISX00: Stopping continuous mode failed.", 0};
    return runStep(texts, "c", 1);
}
