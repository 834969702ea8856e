#include "plugin/CISX00.h"

#include "controller/CConCommonH.h"
#include "protocol/CRS232H.h"
#include "protocol/CommandSteps.h"
#include "support/CLogH.h"
#include "tracker/CCalibH.h"
#include "tracker/CTraCommonH.h"

#include <iostream>

CISX00::CISX00(DevConfig* devConfig, const CLogH* hostLog)
    : CBase(hostLog), port(nullptr), deviceName(nullptr), portName(nullptr), reset(false), dataUnit('U'),
      baudRate(38400), sensorOn(), controllerOn(), initInfo(), currentTraData(nullptr), currentConData(nullptr),
      sensorCount(0), controllerCount(0), received(), pose(), runFlag(nullptr), config(devConfig), tracker(nullptr),
      controller(nullptr), commands(nullptr), initialised(false), reconnect(false), silenceLimitSeconds(3),
      streaming(false), lineDown(false), silentSpell(false), failedReopens(0) {
    for (int i = 0; i < stationCount; ++i) {
        lastTraData[i].clear();
        lastConData[i].clear();
    }
    traData.clear();
    conData.clear();
    log->debug("CISX00: \"constructor\" called.", true);
    if (!hostLog) log->setName("CISX00");
}

CISX00::~CISX00() {
    log->debug("CISX00: \"destructor\" called.", true);
    release();
}

// Frees what an init built, so that a later init starts clean and the
// destructor leaves nothing behind.
void CISX00::release() {
    initialised = false;
    streaming = lineDown = false;
    delete[] deviceName;
    deviceName = nullptr;
    delete[] portName;
    portName = nullptr;
    delete tracker;
    tracker = nullptr;
    delete controller;
    controller = nullptr;
    delete commands;
    commands = nullptr;
    delete port;
    port = nullptr;
}

bool CISX00::anyStationOn(const bool* flags) {
    for (int i = 0; i < stationCount; ++i)
        if (flags[i]) return true;
    return false;
}

bool CISX00::start() {
    log->debug("CISX00: \"start\" called.", true);
    return true;
}

int CISX00::sendData(void*, void*) {
    log->warning("CISX00: Can not send any data.", true);
    return -1;
}

int CISX00::configure() {
    log->debug("CISX00: \"configure\" called.", true);
    if (!initialised) return 0;
    if (reset) {
        log->info("Resetting... Please wait about 20 seconds.", true);
        if (!commands->resetTracker()) return 0;
    }
    if (!setUpStreaming()) return 0;
    streaming = true;
    watchSilenceFromNow();
    return configureCode;
}

// Everything of the set-up but the reset: alignment, output lists, binary
// and continuous output.
bool CISX00::setUpStreaming() {
    if (tracker && tracker->caveCoordinates) commands->setAlignment();
    for (int station = 1; station <= stationCount; ++station)
        if (!commands->setDataFormat(station, sensorOn[station - 1], controllerOn[station - 1])) return false;
    return commands->setBinaryMode() && commands->startContinuous();
}

bool CISX00::stop() {
    log->debug("CISX00: \"stop\" called.", true);
    if (!initialised) return false;
    // A lost line that is not back yet takes no commands.
    if (!lineDown) {
        commands->stopContinuous();
        if (tracker && tracker->caveCoordinates) commands->resetAlignment();
    }
    port->closePort();
    if (tracker && tracker->calibration && !tracker->calibration->exit()) return false;
    return true;
}
