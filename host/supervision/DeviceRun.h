// One device under the host's supervision: brought up on the control thread
// (createDev, init, configure, start), received from on a thread of its own,
// and, when it fails or falls silent, wound down in order (run flag cleared,
// recvData awaited, stop, deleteDev) and brought up again after a back-off,
// with the record IDs it had. A device with reconnect on recovers from
// silence by itself and confirms its own set-ups; without it, a bring-up
// after a silence or a lost line may have reached a tracker that was still
// coming on, so nothing it reads is published until, at its first record,
// the device is brought up once more by a set-up the tracker hears whole.
#pragma once

#include "host/config/DeviceDefinition.h"
#include "host/supervision/DeviceStatus.h"
#include "host/supervision/HostStorages.h"
#include "host/supervision/SessionEvents.h"
#include "host/supervision/SessionOptions.h"
#include "host/supervision/SupervisorClock.h"
#include "host/supervision/Display.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class DeviceConfigBlock;

// Seconds before bring-up number failures + 1: 1 after the first failure,
// doubling, at most 30.
int backOffSeconds(int failures);

class DeviceRun {
public:
    using Clock = SupervisorClock::Clock;

    // bases: the storages' record numbers just before this device's first
    // init. events is told when reception ends or records come back.
    DeviceRun(const DeviceDefinition& definition, HostStorages& storages, HostStorages::Numbers bases,
              const SessionOptions& options, Display& display, SupervisorClock& clock, SessionEvents& events);
    ~DeviceRun();
    DeviceRun(const DeviceRun&) = delete;
    DeviceRun& operator=(const DeviceRun&) = delete;

    // One turn on the control thread: a bring-up that is due, a silence or a
    // loss noticed. Returns exitOk, or with --once the status that ends the run.
    int supervise(Clock::time_point now);
    // When supervise next has something to do, unless an event comes first.
    Clock::time_point nextDue() const;
    // Ends reception in order and releases the device; the state becomes stopped.
    void finish();
    // Winds the device down and brings it up at once with new option lines
    // that switch the same stations on (its corrections rewritten). Returns
    // as supervise does.
    int restart(const std::vector<OptionLine>& options, Clock::time_point now);

    // The state with the time of the last record.
    DeviceStatus status() const;
    bool cameUp() const { return upOnce; }
    const std::string& portName() const { return definition.setup.port; }

private:
    int attempt(Clock::time_point now, Clock::time_point began);
    int confirm();
    int watch(Clock::time_point now);
    int initKeepingIds(is900::hostkit::DevInitInfo& info);
    int lose(Clock::time_point noticed, const std::string& why, int onceStatus);
    bool portAwaited(Clock::time_point now);
    bool sendsAlignment() const { return definition.setup.cave && watchesSilence(); }
    std::string retryLater(Clock::time_point now);
    void shutDown();
    void release();
    void setState(DeviceState state, int retryInSeconds = 0);
    void receive();
    void publish(const unsigned char* masks);
    bool watchesSilence() const { return !definition.setup.trackerStations().empty(); }
    Clock::time_point lastRecordAt() const;
    bool running() const;

    DeviceDefinition definition;
    HostStorages& storages;
    HostStorages::Numbers bases;
    const SessionOptions& options;
    Display& display;
    SupervisorClock& clock;
    SessionEvents& events;
    LoggerRecord logger;
    std::unique_ptr<DeviceConfigBlock> config;
    Clock::duration deviceSilence;     // the device's own silence limit, 2 s without reconnect
    const Clock::duration hostSilence; // --silence: the host brings the device up anew

    DeviceStatus current;
    DeviceStatus shown; // the state as last published
    CBase* device = nullptr;
    std::thread receiver;
    std::vector<RecordView> views; // the receiving thread's, kept for its room
    int32_t runFlag = 0;
    int failures = 0; // failed bring-ups since the device last published
    bool upOnce = false;
    bool lostSinceStart = false; // a silence or a lost line: bring-ups are confirmed (reconnect off)
    Clock::time_point nextAttempt;
    std::mutex receiverMutex;
    std::condition_variable receiverEnded;
    bool receiverDone = false;              // under receiverMutex
    std::atomic<bool> receptionEnded{false}; // what the control thread reads without the lock
    std::atomic<bool> publishedSinceUp{false};
    std::atomic<bool> wakeOnRecord{false}; // the control thread wants to hear of the next record
    std::atomic<bool> unconfirmed{false};  // the bring-up publishes nothing until it is confirmed
    std::atomic<bool> confirmationDue{false}; // a record came after an unconfirmed bring-up
    // The last record read, published or not: the receiving thread's, read
    // by the control thread once that thread has ended.
    bool recordRead = false;
    Clock::time_point lastReadAt;
    std::atomic<Clock::rep> lastRecordTicks{0};
    std::atomic<double> lastRecordWall{0};
};
