// The device's configuration report, followed by the processors' reports.
#include "plugin/CISX00.h"

#include "controller/CConCommonH.h"
#include "support/CLogH.h"
#include "tracker/CTraCommonH.h"

#include <iostream>

bool CISX00::printInfo() {
    if (!portName) return false; // init never read the options: nothing to report
    log->info("DEVICE NAME           : ", false);
    std::cout << deviceName << std::endl;
    log->info("DEVICE TYPE           : IS900(tm)", true);
    log->info("VERSION               : ", false);
    std::cout << "5.5" << std::endl;
    printDataType();
    log->info("SERIAL PORT           : ", false);
    std::cout << portName << std::endl;
    log->info("BAUD RATE             : ", false);
    std::cout << baudRate << std::endl;
    log->info("RESET                 : ", false);
    std::cout << (reset ? "Yes" : "No") << std::endl;
    if (recovery.settings.on) {
        log->info("RECONNECT             : ", false);
        std::cout << "Yes, set-up repeated after " << recovery.settings.silenceLimitSeconds << " s of silence"
                  << std::endl;
    }
    log->info("INCOMING DATA UNIT    : ", false);
    std::cout << (dataUnit == 'U' ? "Inch" : "Centimeter") << std::endl;
    log->info("NUMBER OF DEVICES     : 1", true);
    if (sensorCount != 0) {
        log->info("NUMBER OF TRACKERS    : ", false);
        std::cout << sensorCount << std::endl;
    }
    if (controllerCount != 0) {
        log->info("NUMBER OF CONTROLLERS : ", false);
        std::cout << controllerCount << std::endl;
    }
    printStations("SENSOR(S)             :", sensorOn);
    printStations("CONTROLLER(S)         :", controllerOn);
    if (tracker) tracker->printReport(true);
    if (controller) controller->printReport();
    log->info("-----------------------", true);
    std::cout.flush();
    return true;
}

void CISX00::printDataType() const {
    const bool trackers = anyStationOn(sensorOn);
    const bool controllers = anyStationOn(controllerOn);
    log->info("DATA TYPE             : ", false);
    if (trackers) std::cout << "Tracker";
    if (trackers && controllers) std::cout << "/";
    if (controllers) std::cout << "Controller";
    std::cout << std::endl;
}

void CISX00::printStations(const char* label, const bool* flags) const {
    log->info(label, false);
    for (int station = 1; station <= stationCount; ++station)
        std::cout << " " << station << ":" << (flags[station - 1] ? "ON" : "OFF");
    std::cout << std::endl;
}
