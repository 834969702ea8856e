// The host's run: every configured device supervised on the control thread,
// each receiving on a thread of its own, and what they publish shown as a
// table or as JSON lines.
#pragma once

#include "host/config/DeviceDefinition.h"
#include "host/supervision/ExitStatus.h"
#include "host/supervision/SessionEvents.h"
#include "host/supervision/SessionOptions.h"
#include "host/supervision/Display.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

class OutputHub;
class HostStorages;
class DeviceRun;

class Session {
public:
    // events ends the run when a stop is requested, and wakes it for news.
    Session(HostStorages& storages, SessionOptions options, std::ostream& out, SessionEvents& events);
    ~Session();

    // Devices reserve their record IDs in the order they are added.
    void addDevice(const DeviceDefinition& definition);
    // Returns the process exit status; every device ends with stop and deleteDev.
    int run();

private:
    int restart(const DeviceRestart& request);
    std::vector<DeviceStatus> statuses() const;
    int endStatus() const;
    bool allFailed() const;

    HostStorages& storages;
    SessionOptions options;
    Display display;
    SessionEvents& events;
    SupervisorClock& clock;
    std::vector<std::unique_ptr<DeviceRun>> devices;
    uint32_t trackerIdsTaken = 0;
    uint32_t controllerIdsTaken = 0;
};
