// One device under the host's supervision: brought up on the control thread
// (createDev, init, configure, start), received from on a thread of its own,
// and, when it fails or falls silent, wound down in order (run flag cleared,
// recvData awaited, stop, deleteDev) and brought up again after a back-off,
// with the record IDs it had.
#pragma once

#include "host/config/DeviceDefinition.h"
#include "host/supervision/DeviceStatus.h"
#include "host/supervision/HostStorages.h"
#include "host/supervision/SessionOptions.h"
#include "host/view/Display.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

class DeviceConfigBlock;

class DeviceRun {
public:
    using Clock = LiveBoard::Clock;

    // bases: the storages' record numbers just before this device's first init.
    DeviceRun(const DeviceDefinition& definition, HostStorages& storages, HostStorages::Numbers bases,
              const SessionOptions& options, Display& display);
    ~DeviceRun();
    DeviceRun(const DeviceRun&) = delete;
    DeviceRun& operator=(const DeviceRun&) = delete;

    // One turn on the control thread. Returns exitOk, or with --once the
    // status that ends the run.
    int supervise(Clock::time_point now);
    // Ends reception in order and releases the device.
    void shutDown();

    const DeviceStatus& status() const { return current; }
    bool everStreamed() const { return streamedOnce; }
    const std::string& portName() const { return definition.portName; }

private:
    int attempt(Clock::time_point now);
    int initKeepingIds(is900::hostkit::DevInitInfo& info);
    int lose(const std::string& why, Clock::time_point now);
    void retryLater(Clock::time_point now);
    void release();
    void setState(DeviceState state, int retryInSeconds = 0);
    void receive();
    void publish(const unsigned char* masks);
    void noteActivity();
    double secondsSinceActivity() const;
    bool running() const;

    DeviceDefinition definition;
    HostStorages& storages;
    HostStorages::Numbers bases;
    const SessionOptions& options;
    Display& display;
    LoggerRecord logger;
    std::unique_ptr<DeviceConfigBlock> config;

    DeviceStatus current;
    CBase* device = nullptr;
    std::thread receiver;
    int32_t runFlag = 0;
    bool attemptChanged = false;
    int failures = 0; // failed attempts since the device last published
    bool streamedOnce = false;
    Clock::time_point nextAttempt;
    std::atomic<bool> receiverDone{false};
    std::atomic<bool> publishedSinceUp{false};
    std::atomic<int64_t> lastActivity{0};
};
