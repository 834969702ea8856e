// The host's run: every configured device supervised on the control thread,
// each receiving on a thread of its own, and what they publish shown as a
// table or as JSON lines.
#pragma once

#include "host/config/DeviceDefinition.h"
#include "host/supervision/ExitStatus.h"
#include "host/supervision/SessionOptions.h"
#include "host/view/Display.h"

#include <atomic>
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
    Session(HostStorages& storages, SessionOptions options, std::ostream& out);
    ~Session();

    // Devices reserve their record IDs in the order they are added.
    void addDevice(const DeviceDefinition& definition);
    // Returns the process exit status; stopRequested ends streaming in order.
    int run(const std::atomic<bool>& stopRequested);

private:
    std::vector<DeviceStatus> statuses() const;
    int endStatus() const;
    bool allFailed() const;

    HostStorages& storages;
    SessionOptions options;
    Display display;
    std::vector<std::unique_ptr<DeviceRun>> devices;
    uint32_t trackerIdsTaken = 0;
    uint32_t controllerIdsTaken = 0;
};
