#include "plugin/CISX00.h"

#include "support/CLogH.h"

#include <cstring>

CISX00::CISX00(DevConfig* devConfig, const CLogH* hostLog)
    : CBase(hostLog), port(nullptr), deviceName(nullptr), portName(nullptr), reset(false), dataUnit('U'),
      baudRate(38400), sensorOn(), controllerOn(), initInfo(), sensorCount(0), controllerCount(0), runFlag(nullptr),
      config(devConfig), tracker(nullptr), controller(nullptr) {
    log->debug("CISX00: \"constructor\" called.", true);
    if (!hostLog) log->setName("CISX00");
}

CISX00::~CISX00() {
    log->debug("CISX00: \"destructor\" called.", true);
    delete[] deviceName;
    delete[] portName;
}

int CISX00::init(DevInitInfo*) { return -1; }

bool CISX00::start() { return true; }

int CISX00::configure() { return 0; }

bool CISX00::stop() { return false; }

bool CISX00::printInfo() { return true; }

int CISX00::recvData(unsigned char*, void*) { return -1; }

int CISX00::sendData(void*, void*) { return -1; }
