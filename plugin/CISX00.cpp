#include "plugin/CISX00.h"

#include "controller/CConCommonH.h"
#include "protocol/CRS232H.h"
#include "protocol/CommandSteps.h"
#include "support/CLogH.h"
#include "tracker/CCalibH.h"
#include "tracker/CTraCommonH.h"

#include <iostream>

namespace {

// How long a tracker that was told 'c' may still be sending its last record.
const unsigned long restartSettleMs = 100;

} // namespace

CISX00::CISX00(DevConfig* devConfig, const CLogH* hostLog)
    : CBase(hostLog), port(nullptr), deviceName(nullptr), portName(nullptr), capturePath(nullptr), captureLimitMiB(1024),
      reset(false), dataUnit('U'),
      baudRate(38400), sensorOn(), controllerOn(), initInfo(), currentTraData(nullptr), currentConData(nullptr),
      sensorCount(0), controllerCount(0), received(), pose(), runFlag(nullptr), config(devConfig), tracker(nullptr),
      controller(nullptr), commands(nullptr), initialised(false), clock(DeviceClock::installed()),
      recovery(log, clock,
               {[this] { return setUpLine(true); }, [this](bool restart) { return setUpStreaming(true, restart); }}) {
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
    recovery.forgetLine();
    delete[] deviceName;
    deviceName = nullptr;
    delete[] portName;
    portName = nullptr;
    delete[] capturePath;
    capturePath = nullptr;
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
    if (setUpStreaming(false, false) != SetUp::done) return 0;
    recovery.streamingStarted();
    return configureCode;
}

// Everything of the set-up but the reset: alignment, output lists, binary
// and continuous output. A set-up that is done is judged trusted or not;
// with reconnect on, an untrusted one is confirmed at the first valid record.
SetUp CISX00::setUpStreaming(bool watchRunFlag, bool restart) {
    const DeviceClock::TimePoint began = clock.now();
    const auto cleared = [&] { return watchRunFlag && !RecordReader::running(runFlag); };
    if (restart) {
        if (cleared()) return SetUp::stopped;
        if (!commands->stopContinuous()) return SetUp::failed;
        // The record under way when 'c' arrived still comes in.
        clock.sleep(restartSettleMs);
        port->discardInput();
    }
    if (cleared()) return SetUp::stopped;
    const bool aligns = tracker && tracker->caveCoordinates;
    const bool alignmentFailed = aligns && !commands->setAlignment();
    for (int station = 1; station <= stationCount; ++station) {
        if (cleared()) return SetUp::stopped;
        if (!commands->setDataFormat(station, sensorOn[station - 1], controllerOn[station - 1])) return SetUp::failed;
    }
    if (cleared()) return SetUp::stopped;
    if (!commands->setBinaryMode()) return SetUp::failed;
    if (cleared()) return SetUp::stopped;
    if (restart) port->discardInput();
    if (!commands->startContinuous()) return SetUp::failed;
    recovery.judgeSetUp(began, aligns, alignmentFailed);
    return SetUp::done;
}

bool CISX00::stop() {
    log->debug("CISX00: \"stop\" called.", true);
    if (!initialised) return false;
    // Recovery ends here: a later recvData neither opens the port nor writes.
    recovery.end();
    // A lost line that is not back yet takes no commands.
    if (!recovery.lineIsDown()) {
        commands->stopContinuous();
        if (tracker && tracker->caveCoordinates) commands->resetAlignment();
    }
    port->closePort();
    if (tracker && tracker->calibration && !tracker->calibration->exit()) return false;
    return true;
}
