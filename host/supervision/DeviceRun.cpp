#include "host/supervision/DeviceRun.h"

#include "is900/hostkit/CBase.h"
#include "host/config/DeviceConfigBlock.h"
#include "host/platform/HostPlatform.h"
#include "host/platform/PortCheck.h"
#include "host/supervision/ExitStatus.h"
#include "is900/hostkit/PluginLibrary.h"
#include "rules/SetUpTrust.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {

using Clock = DeviceRun::Clock;

const auto receiverGrace = std::chrono::seconds(5);
const int longestBackOffSeconds = 30;
const int silenceWithoutReconnect = 2;

void reportError(const std::string& text) { std::cerr << "is900-host: error: " << text << std::endl; }

// Copies each record marked in one update mask out of its storage and shows it.
template <typename Record, typename Read, typename Describe, typename Show>
void publishMarked(const unsigned char* mask, Read read, Describe describe, Show show) {
    for (uint32_t id : markedIds(mask)) {
        Record record{};
        if (read(id, record)) show(describe(record, id));
    }
}

Clock::duration seconds(double value) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(value));
}

Clock::duration ownSilence(const is900::hostkit::DeviceSetup& setup) {
    return std::chrono::seconds(setup.reconnect ? setup.silenceLimitSeconds : silenceWithoutReconnect);
}

} // namespace

int backOffSeconds(int failures) {
    int seconds = 1;
    for (int n = 1; n < failures && seconds < longestBackOffSeconds; ++n) seconds *= 2;
    return std::min(seconds, longestBackOffSeconds);
}

DeviceRun::DeviceRun(const DeviceDefinition& definition, HostStorages& storages, HostStorages::Numbers bases,
                     const SessionOptions& options, Display& display, SupervisorClock& clock, SessionEvents& events)
    : definition(definition), storages(storages), bases(bases), options(options), display(display), clock(clock),
      events(events), logger(definition.logger), config(new DeviceConfigBlock(definition.name, definition.options)),
      deviceSilence(ownSilence(definition.setup)), hostSilence(seconds(options.silenceSeconds)),
      nextAttempt(clock.now()) {
    current.device = definition.name;
    shown = current;
    display.status(shown);
}

DeviceRun::~DeviceRun() { shutDown(); }

int DeviceRun::supervise(Clock::time_point now) {
    switch (current.state) {
    case DeviceState::failed:
    case DeviceState::stopped:
        return exitOk;
    case DeviceState::reconnecting:
        return now >= nextAttempt ? attempt(now, now) : exitOk;
    case DeviceState::starting:
        if (!device) return now >= nextAttempt ? attempt(now, now) : exitOk;
        break;
    case DeviceState::streaming:
    case DeviceState::silent:
        break;
    }
    return watch(now);
}

// A device that is up: its reception may have ended, its bring-up may wait
// for confirmation, and a device with tracker stations, whose records change
// with every sample, is silent when none came for its own limit and, unless
// it recovers by itself, brought up anew after --silence.
int DeviceRun::watch(Clock::time_point now) {
    if (receptionEnded) return lose(now, "the device ended reception (recvData returned -1)", exitReception);
    if (confirmationDue) return confirm();
    if (!watchesSilence()) {
        setState(DeviceState::streaming);
        return exitOk;
    }
    const Clock::duration quiet = now - lastRecordAt();
    if (quiet >= hostSilence && !definition.setup.reconnect)
        return lose(now, "no record from the tracker on " + definition.setup.port + " for " +
                        std::to_string(static_cast<int>(options.silenceSeconds)) + " seconds",
                    exitReception);
    if (quiet >= deviceSilence) {
        wakeOnRecord = true;
        setState(DeviceState::silent);
    } else if (publishedSinceUp) {
        setState(DeviceState::streaming);
    }
    return exitOk;
}

Clock::time_point DeviceRun::nextDue() const {
    if (current.state == DeviceState::failed || current.state == DeviceState::stopped) return Clock::time_point::max();
    if (!device) return nextAttempt;
    if (!watchesSilence()) return Clock::time_point::max();
    const bool silent = current.state == DeviceState::silent;
    if (definition.setup.reconnect) return silent ? Clock::time_point::max() : lastRecordAt() + deviceSilence;
    return lastRecordAt() + (silent ? hostSilence : std::min(deviceSilence, hostSilence));
}

// Without --once a missing or busy port is waited for, before init and
// after an init that failed (the port may vanish in between, as an adapter
// does that is enumerated again); only an init that fails on a port that
// can be opened is final, so a bad option never retries for ever.
// began: when the writes that lead to this set-up began.
int DeviceRun::attempt(Clock::time_point now, Clock::time_point began) {
    setState(DeviceState::starting);
    if (portAwaited(now)) return exitOk;
    device = definition.plugin->createDev(config->get(), logger.get());
    if (!device) {
        reportError("createDev returned no device");
        setState(DeviceState::failed);
        return options.once ? exitPlugin : exitOk;
    }
    is900::hostkit::DevInitInfo info{};
    info.trackerStorage = storages.tracker();
    info.controllerStorage = storages.controller();
    info.runFlag = &runFlag;
    runFlag = 1;
    if (initKeepingIds(info) != 1) {
        release();
        if (portAwaited(clock.now())) return exitOk;
        reportError("device '" + definition.name + "' could not be initialised (port " + definition.setup.port +
                    "); the device's messages above say why");
        setState(DeviceState::failed);
        return options.once ? exitInit : exitOk;
    }
    if (device->configure() == 0) {
        device->stop();
        release();
        if (options.once) {
            reportError("the tracker on " + definition.setup.port + " could not be set up for streaming");
            setState(DeviceState::failed);
            return exitConfigure;
        }
        reportError("the tracker on " + definition.setup.port + " could not be set up for streaming" +
                    retryLater(clock.now()));
        return exitOk;
    }
    device->start();
    unconfirmed = lostSinceStart && !definition.setup.reconnect &&
                  !setuptrust::trusted(sendsAlignment(), false, recordRead, began - lastReadAt);
    confirmationDue = false;
    lastRecordTicks = clock.now().time_since_epoch().count();
    receiverDone = false;
    receptionEnded = false;
    publishedSinceUp = false;
    wakeOnRecord = true;
    receiver = std::thread([this] { receive(); });
    upOnce = true;
    return watch(clock.now());
}

// init reserves record IDs before it opens the port, so every attempt
// reserves again. With both storages held (their mutexes are recursive, and
// init takes them again), the numbers go back to what they were before this
// device's first init, and after init forward to the highest they had:
// the device gets its own IDs again and no other device loses any. With -q
// the plug-in's error lines of init still reach standard error.
int DeviceRun::initKeepingIds(is900::hostkit::DevInitInfo& info) {
    HostStorages::BothLocked hold(storages);
    const HostStorages::Numbers highest = storages.numbers();
    storages.setNumbers(bases);
    hostplatform::PluginErrorsShown shown;
    const int result = device->init(&info);
    const HostStorages::Numbers reserved = storages.numbers();
    storages.setNumbers({std::max(highest.tracker, reserved.tracker), std::max(highest.controller, reserved.controller)});
    return result;
}

bool DeviceRun::portAwaited(Clock::time_point now) {
    std::string problem;
    if (options.once || hostplatform::portCanBeOpenedEmptied(definition.setup.port, problem)) return false;
    std::cerr << "is900-host: device '" << definition.name << "': cannot open port " << definition.setup.port << " ("
              << problem << ")" << retryLater(now) << std::endl;
    return true;
}

// The tracker answers after a bring-up that it may have heard only in part:
// the device is brought up once more at once, a set-up the tracker hears
// whole, and what it reads from then on is published.
int DeviceRun::confirm() {
    const Clock::time_point began = clock.now();
    std::cerr << "is900-host: device '" << definition.name << "': the tracker on " << definition.setup.port
              << " answers; bringing it up once more before its records are used" << std::endl;
    shutDown();
    return attempt(clock.now(), began);
}

// The back-off runs from the moment the loss was noticed: the wind-down's
// own waits (the read under way, the alignment restored) count towards it.
int DeviceRun::lose(Clock::time_point noticed, const std::string& why, int onceStatus) {
    shutDown();
    lostSinceStart = true;
    if (options.once) {
        reportError("device '" + definition.name + "': " + why);
        setState(DeviceState::failed);
        return onceStatus;
    }
    reportError("device '" + definition.name + "': " + why + retryLater(noticed));
    return exitOk;
}

// Counts the failure and schedules the next bring-up; returns the words
// that tell which one and when. A device that published since it came up
// starts the count and the back-off afresh.
std::string DeviceRun::retryLater(Clock::time_point now) {
    if (publishedSinceUp.exchange(false)) {
        failures = 0;
        current.attempt = 1;
    }
    const int wait = backOffSeconds(++failures);
    nextAttempt = now + std::chrono::seconds(wait);
    ++current.attempt;
    setState(DeviceState::reconnecting, wait);
    return "; attempt " + std::to_string(current.attempt) + " in " + std::to_string(wait) + " s";
}

void DeviceRun::shutDown() {
    if (!device) return;
    if (receiver.joinable()) {
        __atomic_store_n(&runFlag, 0, __ATOMIC_SEQ_CST);
        std::unique_lock<std::mutex> lock(receiverMutex);
        if (!receiverEnded.wait_for(lock, receiverGrace, [this] { return receiverDone; })) {
            reportError("recvData did not return within 5 seconds after the run flag was cleared; "
                        "leaving without stopping the device");
            std::_Exit(exitHung);
        }
        lock.unlock();
        receiver.join();
    }
    device->stop();
    release();
}

// A record that came just before the stop, before the control thread woke
// for it, still shows in the states as the streaming it was.
void DeviceRun::finish() {
    if (current.state == DeviceState::starting && device && publishedSinceUp) setState(DeviceState::streaming);
    shutDown();
    if (current.state != DeviceState::failed) setState(DeviceState::stopped);
}

int DeviceRun::restart(const std::vector<OptionLine>& options, Clock::time_point now) {
    shutDown();
    definition.options = options;
    definition.setup = is900::hostkit::readDeviceSetup(options);
    config.reset(new DeviceConfigBlock(definition.name, options));
    deviceSilence = ownSilence(definition.setup);
    std::cerr << "is900-host: device '" << definition.name << "': bringing it up again with its rewritten option lines"
              << std::endl;
    return attempt(now, now);
}

void DeviceRun::release() {
    definition.plugin->deleteDev(device);
    device = nullptr;
}

DeviceStatus DeviceRun::status() const {
    DeviceStatus copy = current;
    copy.lastRecord = lastRecordWall;
    return copy;
}

void DeviceRun::setState(DeviceState state, int retryInSeconds) {
    current.state = state;
    current.retryInSeconds = retryInSeconds;
    if (current.state == shown.state && current.retryInSeconds == shown.retryInSeconds &&
        current.attempt == shown.attempt)
        return;
    shown = status();
    display.status(shown);
}

void DeviceRun::receive() {
    hostplatform::nameThisThread("is900-receive");
    unsigned char masks[8];
    while (running()) {
        std::memset(masks, 0, sizeof masks);
        const int result = device->recvData(masks, nullptr);
        publish(masks);
        if (result != 1) break;
    }
    {
        std::lock_guard<std::mutex> guard(receiverMutex);
        receiverDone = true;
    }
    receptionEnded = true;
    receiverEnded.notify_all();
    events.notify();
}

// The host learns of records only through the masks and the storages. The
// records of one read go out together, for one wake-up of the outputs.
void DeviceRun::publish(const unsigned char* masks) {
    views.clear();
    const auto show = [this](RecordView view) {
        view.device = definition.name;
        views.push_back(std::move(view));
    };
    publishMarked<is900::hostkit::TraData>(
        masks, [this](uint32_t id, is900::hostkit::TraData& record) { return storages.readTracker(id, record); },
        [this](const is900::hostkit::TraData& record, uint32_t id) {
            return viewTracker(record, definition.setup.trackerStation(id - bases.tracker));
        },
        show);
    publishMarked<is900::hostkit::ConData>(
        masks + 4, [this](uint32_t id, is900::hostkit::ConData& record) { return storages.readController(id, record); },
        [this](const is900::hostkit::ConData& record, uint32_t id) {
            return viewController(record, definition.setup.controllerStation(id - bases.controller));
        },
        show);
    if (views.empty()) return;
    lastReadAt = clock.now();
    recordRead = true;
    if (unconfirmed) {
        if (!confirmationDue.exchange(true)) events.notify();
        return;
    }
    // Set before the records go out: whoever sees one (a reader that then
    // stops the host) must find the device streaming.
    lastRecordTicks = lastReadAt.time_since_epoch().count();
    lastRecordWall = clock.secondsSince1970();
    publishedSinceUp = true;
    display.records(std::move(views));
    if (wakeOnRecord.exchange(false)) events.notify();
}

Clock::time_point DeviceRun::lastRecordAt() const { return Clock::time_point(Clock::duration(lastRecordTicks.load())); }

bool DeviceRun::running() const { return __atomic_load_n(&runFlag, __ATOMIC_SEQ_CST) != 0; }
