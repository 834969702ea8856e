// The device's init: its own options, the processors of the ON stations,
// the record IDs in the host's storages, the report, the calibration client
// and the serial port.
#include "plugin/CISX00.h"

#include "controller/CConCommonH.h"
#include "boundary/OptionLines.h"
#include "protocol/CRS232H.h"
#include "protocol/CommandSteps.h"
#include "protocol/LineCapture.h"
#include "storage/CDataStorage.h"
#include "support/CLogH.h"
#include "tracker/CCalibH.h"
#include "tracker/CTraCommonH.h"

#include <cctype>
#include <cstring>
#include <memory>
#include <string>

namespace {

char* heapCopy(const char* text) {
    const char* source = text ? text : "";
    char* copy = new char[std::strlen(source) + 1];
    std::strcpy(copy, source);
    return copy;
}



enum class StationFlag { on, off, invalid };

// 1 means ON; 0 means OFF unless the text starts with a letter.
StationFlag readStationFlag(const char* text) {
    const int32_t value = parseNumber(text);
    if (value == 1) return StationFlag::on;
    if (value == 0 && !std::isalpha(static_cast<unsigned char>(text[0]))) return StationFlag::off;
    return StationFlag::invalid;
}

} // namespace

int CISX00::init(DevInitInfo* info) {
    log->debug("CISX00: \"init\" called.", true);
    release();
    if (!info) {
        log->error("CISX00: Init info is empty.", true);
        return -1;
    }
    std::memcpy(&initInfo, info, sizeof initInfo);
    runFlag = initInfo.runFlag;
    deviceName = heapCopy(config ? config->name : nullptr);
    setDefaults();
    if (!config || !parseDeviceOptions()) return -1;
    if (anyStationOn(sensorOn) && !buildTracker()) return -1;
    if (anyStationOn(controllerOn) && !buildController()) return -1;
    if (!CConfigH::checkUnusedOptions(config, log)) return -1;
    printInfo();
    if (tracker && tracker->calibration &&
        !tracker->calibration->init(tracker->calibrationArgs, static_cast<int32_t>(tracker->calibrationArgCount)))
        return -1;
    if (!openAndSetUpPort() || !startCapture()) {
        // The calibration library's session has begun; stop will not run to end it.
        if (tracker && tracker->calibration) tracker->calibration->exit();
        return -1;
    }
    initialised = true;
    return 1;
}

void CISX00::setDefaults() {
    inputConnector = true;
    configureCode = 2;
    sensorCount = 2;
    controllerCount = 0;
    portName = heapCopy("com1");
    baudRate = 38400;
    reset = false;
    dataUnit = 'U';
    recovery.settings = DeviceRecovery::Settings();
    captureLimitMiB = 1024;
    for (int i = 0; i < stationCount; ++i) {
        sensorOn[i] = i < 2;
        controllerOn[i] = false;
    }
}

bool CISX00::parseDeviceOptions() {
    bool allValid = true;
    for (uint32_t i = 0; i < optionLineCount(*config); ++i)
        if (!parseDeviceLine(config->lines[i])) allValid = false;
    return allValid;
}

namespace {

// Which of two meanings a word names; false when it names neither.
bool chooseWord(const char* word, const optionwords::Words& yes, const optionwords::Words& no, bool& meaning) {
    if (!wordIs(word, yes) && !wordIs(word, no)) return false;
    meaning = wordIs(word, yes);
    return true;
}

} // namespace

// Reads one of the device's own lines; lines of other parsers are left alone.
bool CISX00::parseDeviceLine(ConfigLine& line) {
    const char* label = nullptr;
    if (keywordIs(line, optionwords::port))
        label = "SerialPort at line ";
    else if (keywordIs(line, optionwords::baud))
        label = "Baud at line ";
    else if (keywordIs(line, optionwords::reset))
        label = "Reset at line ";
    else if (keywordIs(line, optionwords::dataUnit))
        label = "DevDataUnit at line ";
    else if (keywordIs(line, optionwords::trackers))
        return parseStationFlags(line, sensorOn, sensorCount, "Sensor(s) at line ", false);
    else if (keywordIs(line, optionwords::controllers))
        return parseStationFlags(line, controllerOn, controllerCount, "Controller(s) at line ", true);
    else if (keywordIs(line, optionwords::reconnect))
        return parseReconnectLine(line);
    else if (keywordIs(line, optionwords::capture))
        return parseCaptureLine(line);
    else
        return true;

    const uint32_t argCount = optionArgCount(line);
    const char* problem = argCount == 0 ? incompleteOptionText : argCount > 1 ? tooManyArgsText : nullptr;
    const char* arg = optionArg(line, 0);
    if (!problem) {
        if (keywordIs(line, optionwords::port)) {
            delete[] portName;
            portName = heapCopy(arg);
        } else if (keywordIs(line, optionwords::baud)) {
            baudRate = parseNumber(arg);
        } else if (keywordIs(line, optionwords::reset)) {
            if (!chooseWord(arg, optionwords::switchedOn, optionwords::switchedOff, reset)) problem = invalidStringText;
        } else {
            bool inches = true;
            if (chooseWord(arg, optionwords::inchUnit, optionwords::centimetreUnit, inches))
                dataUnit = inches ? 'U' : 'u';
            else
                problem = invalidStringText;
        }
    }
    // Only an accepted line counts as consumed.
    if (problem) reportOptionProblem(*log, "CISX00: ", problem, label, line);
    line.used = problem == nullptr;
    return problem == nullptr;
}

// "reconnect yes|on|no|off [seconds]": recovery of the line, and how long
// a silent tracker is waited for before the streaming set-up is repeated.
bool CISX00::parseReconnectLine(ConfigLine& line) {
    DeviceRecovery::Settings& reconnect = recovery.settings;
    const uint32_t argCount = optionArgCount(line);
    const char* problem = argCount == 0 ? incompleteOptionText : argCount > 2 ? tooManyArgsText : nullptr;
    if (!problem && !chooseWord(optionArg(line, 0), optionwords::switchedOn, optionwords::switchedOff, reconnect.on))
        problem = invalidStringText;
    if (!problem && argCount == 2) {
        const int32_t seconds = parseNumber(optionArg(line, 1));
        if (seconds < 1)
            problem = invalidArgText;
        else
            reconnect.silenceLimitSeconds = seconds;
    }
    if (problem) reportOptionProblem(*log, "CISX00: ", problem, "Reconnect at line ", line);
    line.used = problem == nullptr;
    return problem == nullptr;
}

// "capture PATH [MiB]": the line's bytes and events go to a file of at most that size.
bool CISX00::parseCaptureLine(ConfigLine& line) {
    const uint32_t argCount = optionArgCount(line);
    const char* problem = argCount == 0 ? incompleteOptionText : argCount > 2 ? tooManyArgsText : nullptr;
    int32_t limit = 1024;
    if (!problem && argCount == 2) {
        limit = parseNumber(optionArg(line, 1));
        if (limit < 1) problem = invalidArgText;
    }
    if (problem) {
        reportOptionProblem(*log, "CISX00: ", problem, "Capture at line ", line);
    } else {
        delete[] capturePath;
        capturePath = heapCopy(optionArg(line, 0));
        captureLimitMiB = limit;
    }
    line.used = problem == nullptr;
    return problem == nullptr;
}

bool CISX00::parseStationFlags(ConfigLine& line, bool* flags, uint32_t& count, const char* label,
                               bool controllers) {
    const uint32_t argCount = optionArgCount(line);
    if (argCount > stationCount) {
        reportOptionProblem(*log, "CISX00: ", tooManyArgsText, label, line);
        return false;
    }
    count = 0;
    for (uint32_t k = 0; k < argCount; ++k) {
        const StationFlag flag = readStationFlag(optionArg(line, k));
        if (flag == StationFlag::invalid) {
            reportOptionProblem(*log, "CISX00: ", invalidArgText, label, line);
            return false;
        }
        flags[k] = flag == StationFlag::on;
        if (flags[k]) {
            ++count;
            if (controllers) configureCode = 1;
        }
    }
    for (uint32_t k = argCount; k < stationCount; ++k) flags[k] = false;
    line.used = true;
    return true;
}

bool CISX00::buildTracker() {
    CDataStorage* storage = asPluginRecord<CDataStorage>(initInfo.trackerStorage);
    if (!storage) {
        log->error("CISX00: tracker data storage pointer is empty.", true);
        return false;
    }
    tracker = new CTraCommonH(log);
    tracker->inputConnector = inputConnector;
    tracker->outputStationCount = sensorCount;
    tracker->caveCoordinates = true;
    tracker->createLookup(stationCount);
    uint32_t outputId = 0;
    for (int station = 1; station <= stationCount; ++station)
        if (sensorOn[station - 1]) tracker->setStation(station, ++outputId);
    if (!tracker->parseOptions(config)) return false;
    storage->lock();
    tracker->outputIdBase = storage->getTraNumber();
    storage->setTraNumber(tracker->outputIdBase + tracker->outputStationCount);
    storage->unlock();
    return true;
}

bool CISX00::buildController() {
    CDataStorage* storage = asPluginRecord<CDataStorage>(initInfo.controllerStorage);
    if (!storage) {
        log->error("CISX00: controller data storage pointer is empty.", true);
        return false;
    }
    controller = new CConCommonH(log);
    controller->inputConnector = inputConnector;
    controller->outputStationCount = controllerCount;
    controller->createLookup(stationCount, true);
    uint32_t outputId = 0;
    for (int station = 1; station <= stationCount; ++station)
        if (controllerOn[station - 1]) controller->setStation(station, ++outputId, 2, 8);
    if (!controller->parseOptions(config)) return false;
    storage->lock();
    controller->outputIdBase = storage->getConNumber();
    storage->setConNumber(controller->outputIdBase + controller->outputStationCount);
    storage->unlock();
    return true;
}

bool CISX00::openAndSetUpPort() {
    port = new CRS232H(log);
    commands = new IS900CommandSteps(port, log);
    commands->sleep = clock.sleep;
    recovery.attach({port, commands, portName, runFlag});
    return setUpLine(false);
}

// Opens the capture file beside an open port, with a header that names the
// port, its rate and every option line. A file that cannot be made closes
// the port again.
bool CISX00::startCapture() {
    if (!capturePath) return true;
    std::string header = LineCapture::headerStart(portName, baudRate, static_cast<uint32_t>(clock.readTimeoutMs));
    for (uint32_t i = 0; i < optionLineCount(*config); ++i) {
        const ConfigLine& line = config->lines[i];
        const char* words[1 + maxOptionArgs];
        uint32_t count = 0;
        words[count++] = optionKeyword(line);
        for (uint32_t k = 0; k < optionArgCount(line); ++k) words[count++] = optionArg(line, k);
        LineCapture::appendOptionField(header, words, count);
    }
    std::unique_ptr<LineCapture> capture(new LineCapture(log, clock));
    const uint64_t limit = static_cast<uint64_t>(captureLimitMiB) * 1024 * 1024;
    if (!capture->open(capturePath, limit, header)) {
        port->closePort();
        return false;
    }
    port->captureTo(std::move(capture));
    return true;
}

// Opens the port and sets the tracker's line up; also when the line is
// opened again after it was lost. A line opened again must take its
// settings: without them a read has no time-out.
bool CISX00::setUpLine(bool reopening) {
    if (!(reopening ? port->reopenPort() : port->openPort(portName))) return false;
    PortAttribute attribute;
    std::memset(&attribute, 0, sizeof attribute);
    attribute.dcb.fBinary = 1;
    attribute.dcb.ByteSize = 8;
    attribute.timeouts.ReadTotalTimeoutConstant = clock.readTimeoutMs;
    port->presetAttribute(&attribute);
    if (!port->setBaudRate(baudRate)) return false;
    return port->setAttribute() || !reopening;
}
